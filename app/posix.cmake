# build/velmora: the Linux desktop program.
if(NOT WIN32)
  add_executable(velmora ${CMAKE_CURRENT_LIST_DIR}/main_posix.cpp)
  target_link_libraries(velmora PRIVATE velmora_core velmora_posix_window velmora_posix_sequencer)
  set_target_properties(velmora PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endif()
