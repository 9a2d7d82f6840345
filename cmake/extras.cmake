# Build-time extras of the library.

# The browser compatibility script: components/compat/browser_compat.js is
# embedded into the library as a generated header, so the script lives in the
# repository as plain JavaScript and the library reads no file at run time.
set(HALVANE_GENERATED_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated)
set(HALVANE_COMPAT_JS ${CMAKE_CURRENT_SOURCE_DIR}/components/compat/browser_compat.js)
set(HALVANE_COMPAT_HEADER ${HALVANE_GENERATED_DIR}/components/compat/browser_compat_js.h)
add_custom_command(
  OUTPUT ${HALVANE_COMPAT_HEADER}
  COMMAND ${CMAKE_COMMAND}
    -DINPUT=${HALVANE_COMPAT_JS}
    -DOUTPUT=${HALVANE_COMPAT_HEADER}
    -DNAME=kBrowserCompatBlock
    -DNAMESPACE=halvane::compat_detail
    -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_script.cmake
  DEPENDS ${HALVANE_COMPAT_JS} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_script.cmake
  COMMENT "Embedding the browser compatibility script"
  VERBATIM)
target_sources(halvane_objects PRIVATE ${HALVANE_COMPAT_HEADER})
target_include_directories(halvane_objects PRIVATE ${HALVANE_GENERATED_DIR})
