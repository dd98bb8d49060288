# What the packages hold beyond the two programs, and the packages CPack makes from it: a Debian
# package on Linux (cpack -G DEB), a zip and a per-user installer on Windows (cpack -G ZIP,
# cpack -G NSIS). The version is the project's.
include(GNUInstallDirs)

if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
elseif(UNIX AND NOT APPLE)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/res/veldran.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  configure_file(${PROJECT_SOURCE_DIR}/res/org.example.veldran.metainfo.xml.in
                 ${PROJECT_BINARY_DIR}/org.example.veldran.metainfo.xml @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/org.example.veldran.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  set(completions ${PROJECT_SOURCE_DIR}/cli/completions)
  install(FILES ${completions}/veldran-cli.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME veldran-cli)
  install(FILES ${completions}/_veldran-cli
          DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
  install(FILES ${completions}/veldran-cli.fish
          DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
endif()

set(CPACK_PACKAGE_NAME veldran)
set(CPACK_PACKAGE_VENDOR veldran)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Find and replace one text over many scheme files at once")
set(CPACK_PACKAGE_DESCRIPTION
    "veldran performs one literal find-and-replace over many scheme files (*.sch) at once,\n\
breaking long lines after a comma, with a change log, a batch data file and undo. It comes as\n\
a window program (veldran) and a command line program (veldran-cli) that write the same bytes.")
set(CPACK_PACKAGE_CONTACT "veldran developers")
# The web page of the window's link (res/Maker.h).
set(CPACK_PACKAGE_HOMEPAGE_URL https://veldran.example.org)
set(CPACK_PACKAGE_INSTALL_DIRECTORY veldran)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY veldran)
set(CPACK_STRIP_FILES ON)

# Debian: the library dependencies are read from the programs by dpkg-shlibdeps.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${CPACK_PACKAGE_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Windows: the installer's template is ours (cmake/packaging), for an install without
# administrator rights.
set(CPACK_NSIS_PACKAGE_NAME veldran)
set(CPACK_NSIS_DISPLAY_NAME veldran)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/res/veldran.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/res/veldran.ico)
list(PREPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake/packaging)
if(WIN32)
  set(CPACK_GENERATOR ZIP NSIS)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
endif()

include(CPack)
