# Build-time extras of the library.

# The browser scripts: components/compat/browser_compat.js (compatibility) and
# components/compat/accessibility.js (keyboard and screen-reader layer) are
# embedded into the library as generated headers, so the scripts live in the
# repository as plain JavaScript and the library reads no file at run time.
set(HALVANE_GENERATED_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated)
function(halvane_embed_script stem name what)
  set(js ${CMAKE_CURRENT_SOURCE_DIR}/components/compat/${stem}.js)
  set(header ${HALVANE_GENERATED_DIR}/components/compat/${stem}_js.h)
  add_custom_command(
    OUTPUT ${header}
    COMMAND ${CMAKE_COMMAND}
      -DINPUT=${js}
      -DOUTPUT=${header}
      -DNAME=${name}
      -DNAMESPACE=halvane::compat_detail
      -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_script.cmake
    DEPENDS ${js} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_script.cmake
    COMMENT "Embedding the ${what}"
    VERBATIM)
  target_sources(halvane_objects PRIVATE ${header})
endfunction()
halvane_embed_script(browser_compat kBrowserCompatBlock "browser compatibility script")
halvane_embed_script(accessibility kAccessibilityBlock "accessibility script")
target_include_directories(halvane_objects PRIVATE ${HALVANE_GENERATED_DIR})
