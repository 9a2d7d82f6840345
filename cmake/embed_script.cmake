# Turns a JavaScript file into a C++ header holding it as one <script> block
# with CR LF line ends:
#   cmake -DINPUT=file.js -DOUTPUT=file_js.h -DNAME=kName -DNAMESPACE=ns -P embed_script.cmake
# The block is kept as bytes, so the script may hold any character.
foreach(v INPUT OUTPUT NAME NAMESPACE)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "embed_script.cmake: ${v} is not set")
  endif()
endforeach()

file(READ "${INPUT}" text)
string(TOLOWER "${text}" lower)
string(FIND "${lower}" "</script" end_tag)
if(NOT end_tag EQUAL -1)
  message(FATAL_ERROR "${INPUT}: the text \"</script\" would end the script block early")
endif()

file(READ "${INPUT}" hex HEX)
# One "0xNN," per byte; CR dropped and LF written as CR LF.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REPLACE "0x0d," "" bytes "${bytes}")
string(REPLACE "0x0a," "0x0d,0x0a," bytes "${bytes}")
# "<script>" CR LF in front, "</script>" CR LF behind.
set(open_tag "0x3c,0x73,0x63,0x72,0x69,0x70,0x74,0x3e,0x0d,0x0a,")
set(close_tag "0x3c,0x2f,0x73,0x63,0x72,0x69,0x70,0x74,0x3e,0x0d,0x0a,")
if(NOT bytes MATCHES "0x0a,$" AND NOT bytes STREQUAL "")
  set(bytes "${bytes}0x0d,0x0a,")
endif()
set(bytes "${open_tag}${bytes}${close_tag}")
# Every byte is the five characters "0xNN,"; sixteen bytes a line.
string(LENGTH "${bytes}" chars)
math(EXPR size "${chars} / 5")
set(lines "")
set(pos 0)
while(pos LESS chars)
  string(SUBSTRING "${bytes}" ${pos} 80 line)
  string(APPEND lines "    ${line}\n")
  math(EXPR pos "${pos} + 80")
endwhile()

get_filename_component(input_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${input_name} when the library is built. Do not edit.\n"
"#pragma once\n\n#include <cstddef>\n\n"
"namespace ${NAMESPACE} {\n\n"
"inline constexpr unsigned char ${NAME}[] = {\n${lines}};\n"
"inline constexpr std::size_t ${NAME}Size = ${size};\n\n"
"}  // namespace ${NAMESPACE}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
