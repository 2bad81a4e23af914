# The Linux MCI layer's MIDI files and memory figures: fast, no sound output.
add_executable(velmora_mci_unit_tests standard_midi_file_test.cpp free_memory_test.cpp)
target_link_libraries(velmora_mci_unit_tests PRIVATE velmora_mci GTest::gtest_main)
gtest_discover_tests(velmora_mci_unit_tests DISCOVERY_MODE PRE_TEST PROPERTIES LABELS unit TIMEOUT 60)

# The layer as the program uses it, through mci_console: its codes (the command grammar and the
# MIDI corpus among them) are fast; the "release" ones measure memory, run under an address-space
# limit or under valgrind, not in the sanitizer build.
foreach(case codes big limits soak memcheck dense end alsa server timecode)
  add_test(NAME MciLayer.${case}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/mci_layer_test.sh $<TARGET_FILE:mci_console> ${case})
endforeach()
set_tests_properties(MciLayer.codes MciLayer.dense MciLayer.end MciLayer.alsa MciLayer.server
                     PROPERTIES TIMEOUT 60 LABELS unit)
set_tests_properties(MciLayer.big MciLayer.limits MciLayer.soak MciLayer.memcheck
                     PROPERTIES TIMEOUT 600 LABELS release)

# The desktop: window, dialog and sound on the private display and sound server of
# tests/desktop_session.sh; without them these skip.
add_executable(velmora_desktop_tests linux_desktop_test.cpp linux_dialog_test.cpp)
target_link_libraries(velmora_desktop_tests PRIVATE
  velmora_posix_window velmora_posix_sequencer velmora_fake GTest::gtest_main)
# In the sanitizer build, the desktop libraries' lifelong caches are not leaks of ours; GLib hands
# out each object with malloc (set before it starts), so that one we do not release is seen.
set_target_properties(velmora_desktop_tests PROPERTIES CROSSCOMPILING_EMULATOR "env;G_SLICE=always-malloc")
gtest_discover_tests(velmora_desktop_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 60
  ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/desktop.lsan.supp:print_suppressions=0")

# The real program on the desktop: driven through the accessibility bus alone, with sound; reached
# from outside its window (command line, second launch, drop, MPRIS); and on a Wayland display with
# no X server. They skip (77) outside tests/desktop_session.sh.
add_test(NAME Desktop.use COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/desktop_use_test.py $<TARGET_FILE:velmora>)
add_test(NAME Desktop.ways_in
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/desktop_use_test.py $<TARGET_FILE:velmora> --ways-in)
add_test(NAME Desktop.wayland COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wayland_test.sh $<TARGET_FILE:velmora>)
# One Velmora per session bus, and one sound server whose timing the timecode test hears: never
# two of these at once.
set_tests_properties(Desktop.use Desktop.ways_in Desktop.wayland MciLayer.timecode PROPERTIES
                     TIMEOUT 90 SKIP_RETURN_CODE 77 RESOURCE_LOCK velmora_session)
