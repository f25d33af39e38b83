# `cmake --install`: the two programs, the language file and the desktop entry with its icon.
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

# The program looks for its language file beside itself, then in the data folder.
if(EXISTS ${PROJECT_SOURCE_DIR}/resources/Melvaro_loc.ini)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/Melvaro_loc.ini
          DESTINATION ${CMAKE_INSTALL_DATADIR}/melvaro)
endif()
