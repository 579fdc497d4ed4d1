# What the Debian package installs, and how CPack builds it (make dist): the
# two programs with their manual pages, the menu entry, the file types, the
# icon, the README, the copyright file and the changelog. Test programs, the
# sample generator and the benchmarks are never installed.
include(GNUInstallDirs)

# The manual pages are made from each program's --help and --version, so
# they say what the programs say.
find_program(ZANTREL_HELP2MAN help2man REQUIRED)
set(zantrel_docs ${CMAKE_BINARY_DIR}/docs)
set(zantrel_doc_outputs)
function(zantrel_manpage target summary)
  set(page ${zantrel_docs}/${target}.1)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${zantrel_docs}
    COMMAND ${ZANTREL_HELP2MAN} --no-info --name=${summary} --output=${page} $<TARGET_FILE:${target}>
    COMMAND gzip -9nf ${page}
    DEPENDS ${target}
    VERBATIM)
  list(APPEND zantrel_doc_outputs ${page}.gz)
  set(zantrel_doc_outputs ${zantrel_doc_outputs} PARENT_SCOPE)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# NEWS is kept in the Debian changelog's form: a package without a Debian
# revision takes it as its changelog, compressed as Debian asks.
add_custom_command(
  OUTPUT ${zantrel_docs}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zantrel_docs}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/NEWS ${zantrel_docs}/changelog
  COMMAND gzip -9nf ${zantrel_docs}/changelog
  DEPENDS ${PROJECT_SOURCE_DIR}/NEWS
  VERBATIM)
list(APPEND zantrel_doc_outputs ${zantrel_docs}/changelog.gz)
install(FILES ${zantrel_docs}/changelog.gz resources/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(TARGETS zantrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
zantrel_manpage(zantrel-cli "edit the icons and pictures in a phone's flash file from a terminal")
if(ZANTREL_GUI)
  install(TARGETS zantrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  zantrel_manpage(zantrel "edit the icons and pictures in a phone's flash file")
  install(FILES resources/zantrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  # The file types the menu entry opens, so file managers offer Zantrel.
  install(FILES resources/zantrel-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
          RENAME zantrel.xml)
  set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES resources/zantrel.png DESTINATION ${icons}/256x256/apps)
  install(FILES resources/zantrel-48.png DESTINATION ${icons}/48x48/apps RENAME zantrel.png)
  install(FILES resources/zantrel.svg DESTINATION ${icons}/scalable/apps)
endif()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
add_custom_target(zantrel_docs ALL DEPENDS ${zantrel_doc_outputs})

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
