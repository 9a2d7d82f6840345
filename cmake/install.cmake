# Installs the headers, both libraries, an exported CMake package
# (find_package(halvane) gives halvane::halvane, the static library, and
# halvane::halvane_shared), two pkg-config files and our copies of the
# components' default images.
include(CMakePackageConfigHelpers)

foreach(h ${HALVANE_HEADERS})
  file(RELATIVE_PATH rel ${CMAKE_CURRENT_SOURCE_DIR} ${h})
  get_filename_component(dir ${rel} DIRECTORY)
  install(FILES ${h} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/halvane/${dir})
endforeach()
# The all-in-one header sits beside the directories it includes from.
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/halvane.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/halvane)

install(TARGETS halvane halvane_shared EXPORT halvaneTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT halvaneTargets NAMESPACE halvane::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/halvane)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/halvaneConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/halvaneConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/halvane)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/halvaneConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/halvaneConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/halvaneConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/halvane)

# The pkg-config file finds the prefix from its own location, so an
# installation moved elsewhere (or made with `cmake --install --prefix`)
# still points at its own headers and libraries.
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(HALVANE_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(HALVANE_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(HALVANE_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH pc_to_prefix "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  set(HALVANE_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
endif()
# halvane.pc is for C++ (it asks for -std=c++20); halvane-c.pc is for C
# programs using server/halvane_com.h, with no C++ flag.  Both give -lhalvane,
# which the linker takes from libhalvane.so when it finds it.
foreach(pc halvane halvane-c)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

# Our copies of the components' default images, laid out as a site's root:
# Calendar.gif (the Calendar's button, named relative to each page) and
# images/icons/ (the Tree's folder and expand/collapse icons).  `halvane
# serve` answers those paths with them when a site has no file of its own;
# a site may also copy the folder's contents into its root.
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/examples/Calendar.gif
  DESTINATION ${CMAKE_INSTALL_DATADIR}/halvane/default_images)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/examples/images/icons/FolderOpen.gif
  ${CMAKE_CURRENT_SOURCE_DIR}/examples/images/icons/FolderClosed.gif
  ${CMAKE_CURRENT_SOURCE_DIR}/examples/images/icons/treeplus.gif
  ${CMAKE_CURRENT_SOURCE_DIR}/examples/images/icons/treeminus.gif
  DESTINATION ${CMAKE_INSTALL_DATADIR}/halvane/default_images/images/icons)
