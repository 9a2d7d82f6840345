# The Tree page script run in Node.js against a small stand-in for the
# browser's document, on a page written by the Tree itself.
set(_tree_js_dir ${CMAKE_CURRENT_LIST_DIR})
add_executable(tree_script_page ${_tree_js_dir}/tree_script_page.cpp)
target_link_libraries(tree_script_page PRIVATE halvane)

find_program(HALVANE_NODE NAMES node nodejs)
if(HALVANE_NODE)
  add_test(NAME tree_script COMMAND ${HALVANE_NODE} --test ${_tree_js_dir}/tree_script.test.mjs)
  set_tests_properties(tree_script PROPERTIES
    LABELS script TIMEOUT 120
    ENVIRONMENT "TREE_SCRIPT_PAGE=$<TARGET_FILE:tree_script_page>")
else()
  message(STATUS "Node.js not found: the tree script test is not registered")
endif()
