# `cmake --install`: the two programs and the desktop entry with its icon (the settings
# library installs the language file).
include(GNUInstallDirs)

if(TARGET melvaro-cli)
  install(TARGETS melvaro-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

if(TARGET melvaro)
  install(TARGETS melvaro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/resources/melvaro.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/melvaro.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
endif()
