# Host tests.  The unit tests of the interpreter and of the page's request
# and response (tests/host/script/*_test.cpp, tests/host/web/*_test.cpp,
# made into programs by tests/CMakeLists.txt) link the script library; the
# server tests and the command-line checks use sockets and the built program
# and carry the label `script`.
if(NOT TARGET halvane_script)
  add_subdirectory(${PROJECT_SOURCE_DIR}/host/script ${CMAKE_BINARY_DIR}/host-script)
endif()
file(GLOB HALVANE_HOST_SCRIPT_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/script/*_test.cpp
     ${CMAKE_CURRENT_LIST_DIR}/web/*_test.cpp)
foreach(src ${HALVANE_HOST_SCRIPT_TESTS})
  get_filename_component(name ${src} NAME_WE)
  if(TARGET ${name})
    target_link_libraries(${name} PRIVATE halvane_script)
  endif()
endforeach()
# The page workers' own test is a unit test of the server library.
if(TARGET workers_test AND TARGET halvane_serve)
  target_link_libraries(workers_test PRIVATE halvane_serve)
endif()
if(TARGET run_cases_test AND TARGET halvane_host)
  target_compile_definitions(run_cases_test PRIVATE
    HALVANE_BIN="$<TARGET_FILE:halvane_host>"
    HALVANE_CASES_DIR="${CMAKE_CURRENT_LIST_DIR}/cases"
    HALVANE_DOCS_DIR="${PROJECT_SOURCE_DIR}/docs")
  add_dependencies(run_cases_test halvane_host)
  # The examples of docs/*.md become test cases when the program is built
  # (test discovery): an edited page rebuilds it.
  file(GLOB HALVANE_DOC_PAGES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
  set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/run_cases_test.cpp APPEND PROPERTY OBJECT_DEPENDS ${HALVANE_DOC_PAGES})
endif()

if(TARGET halvane_serve AND TARGET halvane_host)
  add_executable(serve_http_tests ${CMAKE_CURRENT_LIST_DIR}/serve/serve_http.cpp)
  target_link_libraries(serve_http_tests PRIVATE halvane_serve GTest::gtest GTest::gtest_main)
  target_include_directories(serve_http_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(serve_http_tests PRIVATE
    HALVANE_BIN="$<TARGET_FILE:halvane_host>"
    HALVANE_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples"
    HALVANE_SITE_DIR="${CMAKE_CURRENT_LIST_DIR}/serve/site_data")
  add_dependencies(serve_http_tests halvane_host)
  gtest_discover_tests(serve_http_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS script)

  # Session and Application over several processes and stores.
  add_executable(session_http_tests ${CMAKE_CURRENT_LIST_DIR}/serve/session_http.cpp)
  target_link_libraries(session_http_tests PRIVATE halvane_serve GTest::gtest GTest::gtest_main)
  target_include_directories(session_http_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(session_http_tests PRIVATE HALVANE_BIN="$<TARGET_FILE:halvane_host>"
    HALVANE_SESSION_PAGES="${CMAKE_CURRENT_LIST_DIR}/serve/session_pages")
  add_dependencies(session_http_tests halvane_host)
  gtest_discover_tests(session_http_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS script)

  # nginx in front of two `halvane serve` processes sharing a session store
  # (docs/deploy.md).
  add_test(NAME host_nginx
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/deploy/nginx_test.sh $<TARGET_FILE:halvane_host>)
  set_tests_properties(host_nginx PROPERTIES LABELS script TIMEOUT 60 SKIP_RETURN_CODE 77)
endif()

# The session record format and the stores' locks.
if(TARGET session_store_test)
  if(NOT TARGET halvane_session)
    add_subdirectory(${PROJECT_SOURCE_DIR}/host/session ${CMAKE_BINARY_DIR}/host-session)
  endif()
  target_link_libraries(session_store_test PRIVATE halvane_session)
endif()
