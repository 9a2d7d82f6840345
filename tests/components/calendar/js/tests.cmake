# The calendar's browser script run in Node.js against a small stand-in for the
# page: calendar_emit writes the page text, calendar.test.js runs its scripts.
add_executable(calendar_emit ${CMAKE_CURRENT_LIST_DIR}/calendar_emit.cpp)
target_link_libraries(calendar_emit PRIVATE halvane)

find_program(HALVANE_NODE node)
if(NOT HALVANE_NODE)
  set(HALVANE_NODE node)
endif()
add_test(NAME calendar_script
  COMMAND ${HALVANE_NODE} --test ${CMAKE_CURRENT_LIST_DIR}/calendar.test.js)
set_tests_properties(calendar_script PROPERTIES
  LABELS script
  TIMEOUT 120
  ENVIRONMENT "CALENDAR_EMIT=$<TARGET_FILE:calendar_emit>")
