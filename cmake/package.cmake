# What the Debian package installs, and how CPack builds it (make dist): the
# two programs, the menu entry, the icon and the README. Test programs, the
# sample generator and the benchmarks are never installed.
include(GNUInstallDirs)

install(TARGETS zantrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(ZANTREL_GUI)
  install(TARGETS zantrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES resources/zantrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES resources/zantrel.png DESTINATION ${icons}/256x256/apps)
  install(FILES resources/zantrel-48.png DESTINATION ${icons}/48x48/apps RENAME zantrel.png)
  install(FILES resources/zantrel.svg DESTINATION ${icons}/scalable/apps)
endif()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zantrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Zantrel developers")
set(CPACK_PACKAGE_CONTACT "Zantrel developers <zantrel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for the icons and pictures in a mobile phone's flash file")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Zantrel takes apart the DRM of a phone's flash file (superfile, SBF file
or raw code-group image) into a work folder of plain pictures, lets them be
edited with any picture editor, and compiles them back into a new flash
file. The package holds the window program (zantrel) and the console
program (zantrel-cli).")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# Packages are made in the build folder; make dist copies the .deb to dist/.
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
