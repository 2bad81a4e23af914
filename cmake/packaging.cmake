# Installing and packaging. Linux: the program with its desktop entry, AppStream metadata, icons,
# manual page, copyright and changelog, as a Debian package whose dependencies are the runtime
# libraries it links and a General MIDI SoundFont. Windows: a zip holding Velmora.exe.
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "Velmora developers")
set(CPACK_PACKAGE_CONTACT "Velmora developers <developers@velmora.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Small desktop MIDI player")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  install(TARGETS velmora_exe RUNTIME DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  include(GNUInstallDirs)
  set(resources ${PROJECT_SOURCE_DIR}/resources)
  install(TARGETS velmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # A stripped install (the package's) also drops what strip keeps but Debian does not ship: the
  # compilers' version notes.
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment --remove-section=.note
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/velmora\")
  endif()")
  install(FILES ${resources}/org.velmora.Velmora.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${resources}/org.velmora.Velmora.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(DIRECTORY ${resources}/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
  # RIFF MIDI's .rmi named as MIDI. No maintainer script: shared-mime-info's and
  # desktop-file-utils' dpkg triggers rebuild the MIME and desktop caches when these land.
  install(FILES ${resources}/org.velmora.Velmora.mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME org.velmora.Velmora.xml)
  # Debian 13's lintian validates AppStream metadata and warns that no homepage is named (Velmora
  # has none): the override says why. Debian 12's knows no such tag and would call the override
  # alien, so it goes where lintian has that tag, or where no lintian is installed to ask.
  if(EXISTS /usr/share/lintian/tags/a/appstream-metadata-validation-failed.tag
     OR NOT EXISTS /usr/share/lintian/tags)
    install(FILES ${resources}/velmora.lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME velmora)
  endif()

  # The manual page and the changelog go compressed, reproducibly (no name, no time stamp).
  foreach(document velmora.1 changelog)
    add_custom_command(OUTPUT ${document}.gz
      COMMAND gzip -9nc ${resources}/${document} > ${document}.gz
      DEPENDS ${resources}/${document} VERBATIM)
    list(APPEND compressed ${PROJECT_BINARY_DIR}/${document}.gz)
  endforeach()
  add_custom_target(velmora_documents ALL DEPENDS ${compressed})
  install(FILES ${PROJECT_BINARY_DIR}/velmora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz ${resources}/copyright
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_PACKAGE_DESCRIPTION [[
Velmora plays Standard MIDI Files in one small window that shows one button at
a time: Get Mid File opens the desktop's open-file dialog, Play plays the
chosen file and shows 'Now Playing' with its name, and Stop ends the music.
Closing the window stops the music and slides the window off the screen.

The music is synthesized by FluidSynth with the system's General MIDI
SoundFont and played through PulseAudio (or PipeWire's PulseAudio service), or
ALSA. It opens the MIDI file it is started with, dropped on its window or
handed over by the desktop's media controls (MPRIS). Velmora saves no
settings and writes no files of its own (its open dialog adds the chosen file
to the desktop's recently used files).]])
  # dpkg-shlibdeps names the library packages the binary really links (the toolkit, FluidSynth, the
  # C++ runtime); the SoundFont is data FluidSynth loads, so it is named here, and so is the
  # FluidSynth the sound engine needs (2.2 or later, as at configure time), which the library's
  # symbols alone would let an older one satisfy.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libfluidsynth3 (>= 2.2), timgm6mb-soundfont | sf2-soundfont-gm")
  # Users get the program without its debug information; the build folder keeps it.
  set(CPACK_STRIP_FILES ON)
  # Folders 755 as Debian wants, whatever the builder's umask.
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
include(CPack)
