# Installs a build tree into a fresh prefix, then builds and runs a small
# consumer against the installation twice: through find_package(halvane)
# (static and shared library) and through pkg-config; then the C++ and C
# programs of docs/building.md, docs/c-interface.md and docs/components.md,
# with the commands
# those pages give (doc_blocks.sh).
#
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DCXX=... [-DSANITIZE=ON] -P run.cmake
#
# SANITIZE: the installed libraries are instrumented, so the consumers are
# built with the same sanitizers.
cmake_minimum_required(VERSION 3.25)
foreach(v BUILD_DIR WORK_DIR CXX)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "run.cmake needs -D${v}=...")
  endif()
endforeach()
set(HERE ${CMAKE_CURRENT_LIST_DIR})
set(PREFIX ${WORK_DIR}/prefix)
set(SAN_FLAGS)
if(SANITIZE)
  set(SAN_FLAGS -fsanitize=address,undefined)
endif()
string(REPLACE ";" " " SAN_FLAGS_TEXT "${SAN_FLAGS}")

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGV}")
    message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

# The consumer's output must be exactly the expected text (written straight
# to a file: a captured output would lose its carriage returns).
function(check_output program)
  execute_process(COMMAND ${program} RESULT_VARIABLE rc OUTPUT_FILE ${WORK_DIR}/actual.txt)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${program} failed (${rc})")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/actual.txt ${HERE}/expected.txt
                  RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    file(READ ${WORK_DIR}/actual.txt text)
    message(FATAL_ERROR "${program} wrote:\n${text}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})

foreach(f include/halvane/halvane.h include/halvane/core/variant.h include/halvane/server/automation.h
          include/halvane/server/halvane_com.h include/halvane/components/tabs/tabs.h)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
# The program, and the gallery it serves by default from the installation.
foreach(f bin/halvane share/halvane/examples/index.hvp share/halvane/examples/header.inc
          share/halvane/examples/gallery.css share/halvane/examples/images/page.gif
          share/halvane/default_images/Calendar.gif share/halvane/default_images/images/icons/FolderOpen.gif
          share/halvane/default_images/images/icons/FolderClosed.gif
          share/halvane/default_images/images/icons/treeplus.gif
          share/halvane/default_images/images/icons/treeminus.gif)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
run(${PREFIX}/bin/halvane serve --help)
string(FIND "${run_output}" "The bundled examples: ${PREFIX}/share/halvane/examples\n" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the installed halvane does not serve the installed gallery:\n${run_output}")
endif()
string(FIND "${run_output}" "Our copies of the default images: ${PREFIX}/share/halvane/default_images\n" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the installed halvane does not answer with the installed default images:\n${run_output}")
endif()
# An installed page runs with its include.
run(${PREFIX}/bin/halvane run ${PREFIX}/share/halvane/examples/tabs.hvp --query tab=Calendar)
string(FIND "${run_output}" "<b id='shown'>Calendar</b>" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the installed gallery's tabs page did not run as expected:\n${run_output}")
endif()

file(GLOB_RECURSE pc_files ${PREFIX}/*/halvane.pc)
file(GLOB_RECURSE static_libs ${PREFIX}/*/libhalvane.a)
file(GLOB_RECURSE shared_libs ${PREFIX}/*/libhalvane.so)
if(NOT pc_files OR NOT static_libs OR NOT shared_libs)
  message(FATAL_ERROR "missing halvane.pc, libhalvane.a or libhalvane.so under ${PREFIX}")
endif()
list(GET pc_files 0 pc_file)
get_filename_component(pc_dir ${pc_file} DIRECTORY)

# find_package(halvane).
run(${CMAKE_COMMAND} -S ${HERE}/consumer -B ${WORK_DIR}/cmake-consumer -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${PREFIX} "-DCMAKE_CXX_FLAGS=${SAN_FLAGS_TEXT}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-consumer -j2)
check_output(${WORK_DIR}/cmake-consumer/consumer_static)
check_output(${WORK_DIR}/cmake-consumer/consumer_shared)

# pkg-config, with the installed prefix found from the .pc file's place.
run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir} pkg-config --cflags --libs halvane)
string(STRIP "${run_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir} pkg-config --variable=libdir halvane)
string(STRIP "${run_output}" libdir)
run(${CXX} ${SAN_FLAGS} ${HERE}/consumer/main.cpp ${flags} -Wl,-rpath,${libdir} -o ${WORK_DIR}/pc-consumer)
check_output(${WORK_DIR}/pc-consumer)

# The documented builds, command for command.  Instrumented libraries need
# instrumented programs, which the documented commands do not ask for.
if(NOT SANITIZE)
  run(bash ${HERE}/doc_blocks.sh ${PREFIX} ${WORK_DIR}/docs ${HERE}/../../docs/building.md
      ${HERE}/../../docs/c-interface.md ${HERE}/../../docs/components.md)
  message(STATUS "${run_output}")
endif()

file(REMOVE_RECURSE ${WORK_DIR})
message(STATUS "install consumer: find_package and pkg-config builds give the expected output")
