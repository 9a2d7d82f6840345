# The C host: a program compiled as C that loads the shared library with
# dlopen and drives a component through the C interface alone.
add_executable(halvane_c_host ${CMAKE_CURRENT_LIST_DIR}/c_host.c)
set_target_properties(halvane_c_host PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_include_directories(halvane_c_host PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(halvane_c_host PRIVATE ${CMAKE_DL_LIBS})
# Loaded at run time, not linked: build it first.
add_dependencies(halvane_c_host halvane_shared)
add_test(NAME c_host COMMAND halvane_c_host $<TARGET_FILE:halvane_shared> ${CMAKE_CURRENT_LIST_DIR}/members.txt)
set_tests_properties(c_host PROPERTIES LABELS unit TIMEOUT 60)
