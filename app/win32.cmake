# Velmora.exe: a GUI-subsystem program at the build folder's root, carrying the icon, the manifest
# and the version record. The release ships without debug sections (-s): 738 KB of which 450 are
# debug information nobody on Windows reads.
if(WIN32)
  add_executable(velmora_exe WIN32 ${CMAKE_CURRENT_LIST_DIR}/main_win32.cpp)
  target_link_libraries(velmora_exe PRIVATE velmora_win32 velmora_windows_resources)
  target_link_options(velmora_exe PRIVATE $<$<CONFIG:Release>:-s>)
  set_target_properties(velmora_exe PROPERTIES
    OUTPUT_NAME Velmora
    RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endif()
