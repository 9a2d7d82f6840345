# Installs the headers, both libraries, an exported CMake package
# (find_package(halvane) gives halvane::halvane) and a pkg-config file.
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
configure_file(${CMAKE_CURRENT_LIST_DIR}/halvane.pc.in ${CMAKE_CURRENT_BINARY_DIR}/halvane.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/halvane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
