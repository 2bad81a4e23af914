# The Linux MCI layer's MIDI files and memory figures: fast, no sound output.
add_executable(velmora_mci_unit_tests standard_midi_file_test.cpp free_memory_test.cpp)
target_link_libraries(velmora_mci_unit_tests PRIVATE velmora_mci GTest::gtest_main)
gtest_discover_tests(velmora_mci_unit_tests DISCOVERY_MODE PRE_TEST PROPERTIES LABELS unit TIMEOUT 60)

# The layer as the program uses it, through mci_console: its codes (the command grammar and the
# MIDI corpus among them) are fast; the "release" ones measure memory, run under an address-space
# limit or under valgrind, not in the sanitizer build.
foreach(case codes big limits soak memcheck timecode)
  add_test(NAME MciLayer.${case}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/mci_layer_test.sh $<TARGET_FILE:mci_console> ${case})
endforeach()
set_tests_properties(MciLayer.codes PROPERTIES TIMEOUT 60 LABELS unit)
set_tests_properties(MciLayer.big MciLayer.limits MciLayer.soak MciLayer.memcheck
                     PROPERTIES TIMEOUT 300 LABELS release)

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

# The real program on the desktop: driven through the accessibility bus alone, with sound; and on a
# Wayland display with no X server. Both skip (77) outside tests/desktop_session.sh.
add_test(NAME Desktop.use COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/desktop_use_test.py $<TARGET_FILE:velmora>)
add_test(NAME Desktop.wayland COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wayland_test.sh $<TARGET_FILE:velmora>)
# So does the timecode file heard through mci_console on the same sound server.
set_tests_properties(Desktop.use Desktop.wayland MciLayer.timecode PROPERTIES TIMEOUT 60
                     SKIP_RETURN_CODE 77)
