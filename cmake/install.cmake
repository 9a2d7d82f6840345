# Installs the headers, both libraries, an exported CMake package
# (find_package(halvane) gives halvane::halvane) and a pkg-config file.
include(CMakePackageConfigHelpers)

foreach(h ${HALVANE_HEADERS})
  file(RELATIVE_PATH rel ${CMAKE_CURRENT_SOURCE_DIR} ${h})
  get_filename_component(dir ${rel} DIRECTORY)
  install(FILES ${h} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/halvane/${dir})
endforeach()

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

configure_file(${CMAKE_CURRENT_LIST_DIR}/halvane.pc.in ${CMAKE_CURRENT_BINARY_DIR}/halvane.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/halvane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
