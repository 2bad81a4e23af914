# The MCI command layer over FluidSynth and the kernel's path services.
find_package(PkgConfig REQUIRED)
pkg_check_modules(FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)

# Pure: text in, parts or an error code out. Linked alone by the command fuzzer.
add_library(velmora_mci_command STATIC
  ${CMAKE_CURRENT_LIST_DIR}/mci_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mci_errors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/standard_midi_file.cpp)
target_include_directories(velmora_mci_command PUBLIC ${CMAKE_CURRENT_LIST_DIR}/../..)

add_library(velmora_posix_sequencer STATIC
  ${CMAKE_CURRENT_LIST_DIR}/fluid_mci.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fluid_sequencer_device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix_file_system.cpp)
target_link_libraries(velmora_posix_sequencer PUBLIC velmora_core velmora_mci_command PkgConfig::FLUIDSYNTH PkgConfig::ALSA ${CMAKE_DL_LIBS})
