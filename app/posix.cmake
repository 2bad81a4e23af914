# build/velmora: the Linux desktop program.
if(NOT WIN32)
  add_executable(velmora ${CMAKE_CURRENT_LIST_DIR}/main_posix.cpp
                         ${CMAKE_CURRENT_LIST_DIR}/command_line_posix.cpp)
  target_link_libraries(velmora PRIVATE velmora_core velmora_posix_window velmora_posix_sequencer)
  target_compile_definitions(velmora PRIVATE VELMORA_VERSION="${PROJECT_VERSION}")
  set_target_properties(velmora PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endif()
