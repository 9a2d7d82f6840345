# halvane serve against bad HTTP over raw sockets on 127.0.0.1 (label script).
if(TARGET halvane_serve)
  add_executable(bad_http_tests ${CMAKE_CURRENT_LIST_DIR}/bad_http.cpp)
  target_link_libraries(bad_http_tests PRIVATE halvane_serve GTest::gtest GTest::gtest_main)
  target_include_directories(bad_http_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/.. ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(bad_http_tests PRIVATE HALVANE_ROBUSTNESS_DIR="${CMAKE_CURRENT_LIST_DIR}")
  gtest_discover_tests(bad_http_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS script)
endif()
