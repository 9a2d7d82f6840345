# The Python package's tests, when the tree builds the extension
# (-DHALVANE_PYTHON=ON): pytest over tests/python against the package put
# together under <build>/python, and the install as the README gives it (a
# virtual environment, pip, and a wheel).
if(TARGET halvane_python)
  add_test(NAME python_package
    COMMAND ${HALVANE_PYTHON_INTERPRETER} -m pytest -q -p no:cacheprovider ${CMAKE_CURRENT_LIST_DIR}
    WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR})
  set(halvane_python_env "PYTHONPATH=${CMAKE_BINARY_DIR}/python;PYTHONDONTWRITEBYTECODE=1")
  if(TARGET halvane_host)
    list(APPEND halvane_python_env "HALVANE_BIN=$<TARGET_FILE:halvane_host>")
  endif()
  set_tests_properties(python_package PROPERTIES LABELS python TIMEOUT 300
    ENVIRONMENT "${halvane_python_env}")

  add_test(NAME python_install
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/install_check.sh ${PROJECT_SOURCE_DIR}
            ${CMAKE_CURRENT_BINARY_DIR}/python_install ${HALVANE_PYTHON_INTERPRETER})
  set_tests_properties(python_install PROPERTIES LABELS python TIMEOUT 900 RUN_SERIAL TRUE)
endif()
