# Installs the library, its headers, the CMake package (OskaBase::OskaBase)
# and the pkg-config file oskabase.pc.
include(CMakePackageConfigHelpers)

set(OSKA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/OskaBase)

install(DIRECTORY include/OskaBase DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT OskaBaseTargets NAMESPACE OskaBase:: DESTINATION ${OSKA_CMAKE_DIR})

configure_package_config_file(cmake/OskaBaseConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/OskaBaseConfig.cmake
  INSTALL_DESTINATION ${OSKA_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/OskaBaseConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/OskaBaseConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/OskaBaseConfigVersion.cmake
        DESTINATION ${OSKA_CMAKE_DIR})

configure_file(cmake/oskabase.pc.in ${CMAKE_CURRENT_BINARY_DIR}/oskabase.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/oskabase.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
