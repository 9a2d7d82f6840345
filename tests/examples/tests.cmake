# The C++ example page builds and runs.
add_executable(example_page ${PROJECT_SOURCE_DIR}/examples/cpp/page.cpp)
target_link_libraries(example_page PRIVATE halvane)
set_target_properties(example_page PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/examples)
add_test(NAME example_cpp_page COMMAND example_page)
set_tests_properties(example_cpp_page PROPERTIES LABELS unit
  PASS_REGULAR_EXPRESSION "oPopup.show\\(lefter, topper, 150, 54, document.body\\);")
