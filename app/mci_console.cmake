# mci_console: MCI command strings on standard input, each result code on standard output. Built on
# Windows' winmm and on the Linux MCI layer so one script can be run through both and compared.
if(WIN32)
  add_executable(mci_console ${CMAKE_CURRENT_LIST_DIR}/mci_console.cpp
                             ${CMAKE_CURRENT_LIST_DIR}/host_mci_win32.cpp)
  target_link_libraries(mci_console PRIVATE velmora_win32)
elseif(TARGET velmora_posix_sequencer)
  add_executable(mci_console ${CMAKE_CURRENT_LIST_DIR}/mci_console.cpp
                             ${CMAKE_CURRENT_LIST_DIR}/host_mci_posix.cpp)
  target_link_libraries(mci_console PRIVATE velmora_posix_sequencer)
endif()
