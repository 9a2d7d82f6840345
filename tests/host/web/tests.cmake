# Unit tests of the page request/response model, the template front end and
# the `halvane run` command line (tests/host/web/*_test.cpp).
if(NOT TARGET halvane_web)
  add_subdirectory(${PROJECT_SOURCE_DIR}/host/web ${CMAKE_BINARY_DIR}/host-web)
endif()
file(GLOB HALVANE_HOST_WEB_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
foreach(src ${HALVANE_HOST_WEB_TESTS})
  get_filename_component(name ${src} NAME_WE)
  if(TARGET ${name})
    target_link_libraries(${name} PRIVATE halvane_web)
  endif()
endforeach()

# halvane serve answering pages over raw sockets on 127.0.0.1.
if(TARGET halvane_serve)
  add_executable(serve_pages_tests ${CMAKE_CURRENT_LIST_DIR}/serve_pages.cpp)
  target_link_libraries(serve_pages_tests PRIVATE halvane_serve GTest::gtest GTest::gtest_main)
  target_include_directories(serve_pages_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
  gtest_discover_tests(serve_pages_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS script)
endif()
