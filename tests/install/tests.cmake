# Installs this build tree into a temporary prefix and builds a consumer
# against it with find_package(halvane) and with pkg-config.
add_test(NAME install_consumer
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/install_consumer
          -DCXX=${CMAKE_CXX_COMPILER} -DSANITIZE=${HALVANE_SANITIZE} -P ${CMAKE_CURRENT_LIST_DIR}/run.cmake)
set_tests_properties(install_consumer PROPERTIES LABELS script TIMEOUT 300)
