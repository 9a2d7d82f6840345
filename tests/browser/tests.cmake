# The browser tests: headless Chromium drives `halvane serve` over the test
# pages of tests/browser/pages and the example gallery.  They need Node.js,
# the npm packages of tests/browser (npm ci) and /usr/bin/chromium; ./dev.sh
# test installs all three.
find_program(HALVANE_NODE NAMES node nodejs)
if(NOT HALVANE_NODE)
  message(STATUS "Node.js not found: the browser tests are not registered")
elseif(NOT TARGET halvane_host)
  message(STATUS "The halvane host is not built: the browser tests are not registered")
else()
  add_test(NAME browser
    COMMAND ${HALVANE_NODE} --test --test-reporter=dot ${CMAKE_CURRENT_LIST_DIR}/run_all.js
    WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR})
  set_tests_properties(browser PROPERTIES
    LABELS browser
    TIMEOUT 240
    ENVIRONMENT "HALVANE_BIN=$<TARGET_FILE:halvane_host>;HALVANE_BROWSER_OUT=${CMAKE_BINARY_DIR}/browser;HALVANE_EXAMPLES=${PROJECT_SOURCE_DIR}/examples")
endif()
