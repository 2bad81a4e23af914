# The sequencer benchmark: Velmora's MCI layer against the FluidSynth command line and the offline
# synthesis floor, on a null sink. Run it with bench/sequencer_bench.sh.
if(TARGET velmora_posix_sequencer)
  add_executable(velmora_sequencer_bench
    ${CMAKE_CURRENT_LIST_DIR}/sequencer_bench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bench_process.cpp
    ${CMAKE_CURRENT_LIST_DIR}/debug_pulse_server.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sink_monitor.cpp)
  target_include_directories(velmora_sequencer_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(velmora_sequencer_bench PRIVATE velmora_posix_sequencer pthread)
  set_target_properties(velmora_sequencer_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()

# Offline rendering as the layer plays a file, for bench/real_world_midi.sh.
if(TARGET velmora_mci)
  add_executable(velmora_midi_render ${CMAKE_CURRENT_LIST_DIR}/midi_render.cpp)
  target_link_libraries(velmora_midi_render PRIVATE velmora_mci)
  set_target_properties(velmora_midi_render PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
