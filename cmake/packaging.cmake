# Installing and packaging. Linux: the program, its desktop entry and icon, as a Debian package whose
# dependencies are the runtime libraries it links and a General MIDI SoundFont. Windows: a zip
# holding Velmora.exe.
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "Velmora developers")
set(CPACK_PACKAGE_CONTACT "Velmora developers <velmora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Small desktop MIDI player")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  install(TARGETS velmora_exe RUNTIME DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  include(GNUInstallDirs)
  install(TARGETS velmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/resources/velmora.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/velmora.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  # dpkg-shlibdeps names the library packages the binary really links (FLTK, FluidSynth, X11, the
  # C++ runtime); the SoundFont is data FluidSynth loads, so it is named here.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Users get the program without its debug information; the build folder keeps it.
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "timgm6mb-soundfont | sf2-soundfont-gm")
endif()
include(CPack)
