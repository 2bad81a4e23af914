# The Linux MCI layer over FluidSynth and the path services. The sound test needs the null sink of
# tests/desktop_session.sh and skips without it; the corpus test skips without ../shared/midi-corpus.
add_executable(velmora_posix_sequencer_tests
  ${CMAKE_CURRENT_LIST_DIR}/mci_command_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fluid_mci_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/midi_corpus_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix_file_system_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/real_sound_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sink_monitor.cpp)
target_include_directories(velmora_posix_sequencer_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(velmora_posix_sequencer_tests PRIVATE
  VELMORA_SOURCE_DIR="${CMAKE_CURRENT_LIST_DIR}/..")
target_link_libraries(velmora_posix_sequencer_tests PRIVATE
  velmora_posix_sequencer velmora_fake GTest::gtest_main pthread)
gtest_discover_tests(velmora_posix_sequencer_tests DISCOVERY_MODE PRE_TEST)

# The Standard MIDI File check, pure, and its files played by FluidSynth without a sound output.
add_executable(velmora_standard_midi_file_tests ${CMAKE_CURRENT_LIST_DIR}/standard_midi_file_test.cpp)
target_include_directories(velmora_standard_midi_file_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(velmora_standard_midi_file_tests PRIVATE velmora_mci GTest::gtest_main)
gtest_discover_tests(velmora_standard_midi_file_tests DISCOVERY_MODE PRE_TEST
                     PROPERTIES LABELS unit TIMEOUT 60)

# Big files and the kept synthesizer: hundreds of MB for a few seconds, no sound server needed.
add_executable(velmora_big_files_tests ${CMAKE_CURRENT_LIST_DIR}/big_files_test.cpp)
target_include_directories(velmora_big_files_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(velmora_big_files_tests PRIVATE velmora_posix_sequencer GTest::gtest_main)
gtest_discover_tests(velmora_big_files_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)
