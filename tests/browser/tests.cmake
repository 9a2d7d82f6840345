# The browser tests: Chromium, Firefox ESR and WebKitGTK each drive
# `halvane serve` over the test pages of tests/browser/pages and the example
# gallery, one engine after the other (one ctest test per engine, never two
# at once).  They need Node.js, the npm packages of tests/browser (npm ci),
# /usr/bin/chromium, /usr/bin/firefox-esr, WebKitWebDriver and Xvfb;
# ./dev.sh test installs them all.
find_program(HALVANE_NODE NAMES node nodejs)
if(NOT HALVANE_NODE)
  message(STATUS "Node.js not found: the browser tests are not registered")
elseif(NOT TARGET halvane_host)
  message(STATUS "The halvane host is not built: the browser tests are not registered")
else()
  # The Flask gallery's checks, when the tree builds the Python package.
  set(halvane_browser_python "")
  if(TARGET halvane_python)
    set(halvane_browser_python "HALVANE_PYTHONPATH=${CMAKE_BINARY_DIR}/python;HALVANE_PYTHON=${HALVANE_PYTHON_INTERPRETER}")
  endif()
  foreach(engine chromium firefox webkit)
    add_test(NAME browser_${engine}
      COMMAND ${HALVANE_NODE} --test --test-reporter=dot ${CMAKE_CURRENT_LIST_DIR}/run_all.js
      WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR})
    set_tests_properties(browser_${engine} PROPERTIES
      LABELS "browser;browser_${engine}"
      TIMEOUT 240
      RESOURCE_LOCK halvane_browser
      ENVIRONMENT "HALVANE_ENGINES=${engine};HALVANE_BIN=$<TARGET_FILE:halvane_host>;HALVANE_BROWSER_OUT=${CMAKE_BINARY_DIR}/browser;HALVANE_EXAMPLES=${PROJECT_SOURCE_DIR}/examples;${halvane_browser_python}")
  endforeach()
endif()
