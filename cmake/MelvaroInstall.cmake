# `cmake --install` and the Debian package: the two programs, the desktop entry with its
# icons and AppStream metainfo, the man pages and the bash completion (the settings library
# installs the language file).
include(GNUInstallDirs)

if(TARGET melvaro-cli)
  install(TARGETS melvaro-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/docs/melvaro-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/completion/melvaro-cli
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

if(TARGET melvaro)
  install(TARGETS melvaro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/docs/melvaro.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/melvaro.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/org.melvaro.Melvaro.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/melvaro.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
  foreach(size 16 32 48 64 128)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/${size}/melvaro.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()

# scripts/package.sh: a Debian package of both programs, its dependencies read from the
# binaries.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "melvaro")
set(CPACK_PACKAGE_VENDOR "Melvaro")
set(CPACK_PACKAGE_CONTACT "Melvaro developers <melvaro@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "keep the detail of shadows and highlights in your photographs")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "keep the detail of shadows and highlights in your photographs
 Melvaro turns one photograph, or a bracketed series of photographs of one
 scene, into a picture in which shadows and highlights both keep their detail:
 exposure fusion, synthetic bracketing, daylight exposure families, tone
 mapping and Smart Contrast. It ships a Qt desktop program and melvaro-cli.")
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
