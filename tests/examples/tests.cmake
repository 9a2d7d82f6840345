# The C++ example page builds and runs.
add_executable(example_page ${PROJECT_SOURCE_DIR}/examples/cpp/page.cpp)
target_link_libraries(example_page PRIVATE halvane)
set_target_properties(example_page PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/examples)
add_test(NAME example_cpp_page COMMAND example_page)
set_tests_properties(example_cpp_page PROPERTIES LABELS unit
  PASS_REGULAR_EXPRESSION "oPopup.show\\(lefter, topper, 150, 54, document.body\\);")

# The C example host drives Tabs through its dual interface's function table.
add_executable(example_tabs_host ${PROJECT_SOURCE_DIR}/examples/c/tabs_host.c)
set_target_properties(example_tabs_host PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/examples)
target_include_directories(example_tabs_host PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(example_tabs_host PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(example_tabs_host halvane_shared)
add_test(NAME example_c_tabs_host COMMAND example_tabs_host $<TARGET_FILE:halvane_shared>)
set_tests_properties(example_c_tabs_host PROPERTIES LABELS unit
  PASS_REGULAR_EXPRESSION "Weather</div>.*error 0x800A0001 from QuorvixTabs.TABS: TabName property is empty.")
