# The CMake package that other projects find (vesk::vesk) and the release
# archives made from the install tree.
include(CMakePackageConfigHelpers)
install(EXPORT veskTargets NAMESPACE vesk:: FILE veskConfig.cmake DESTINATION lib/cmake/vesk)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/veskConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/veskConfigVersion.cmake DESTINATION lib/cmake/vesk)

set(CPACK_PACKAGE_NAME vesk)
set(CPACK_PACKAGE_VENDOR Quenmark)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ZIP extraction library of the ZEL package")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  # The Windows tree with the README and a short text on calling the DLL.
  install(FILES README.md cmake/calling-vesk.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vesk-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR "TGZ;DEB")
  set(CPACK_PACKAGE_FILE_NAME vesk-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quenmark")
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The .deb installs below /usr; the .tar.gz holds the tree as it is.
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/packagingPerGenerator.cmake)
endif()
include(CPack)
