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
  # A user's package: the Windows tree with a README for users and the
  # licence, in a folder of the package's name, so that "Extract here" makes
  # one folder. Its text files have CRLF line ends, for Notepad and the other
  # Windows tools.
  set(windowsText ${PROJECT_BINARY_DIR}/windowsText)
  configure_file(cmake/README.txt.in ${windowsText}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE ${windowsText}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(vesk/vesk.h ${windowsText}/vesk.h @ONLY NEWLINE_STYLE CRLF)
  configure_file(vesk/vesk.def ${windowsText}/vesk.def @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${windowsText}/README.txt ${windowsText}/LICENSE.txt DESTINATION .)
  install(FILES ${windowsText}/vesk.h DESTINATION include)
  install(FILES ${windowsText}/vesk.def DESTINATION lib)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vesk-${PROJECT_VERSION}-win32)
else()
  # The licence where Debian looks for it, and the description that
  # pkg-config reads.
  install(FILES LICENSE DESTINATION share/doc/vesk RENAME copyright)
  configure_file(cmake/vesk.pc.in ${PROJECT_BINARY_DIR}/vesk.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/vesk.pc DESTINATION lib/pkgconfig)
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
