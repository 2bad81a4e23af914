# The Windows resources: the icon, the application manifest and the version record, compiled by
# windres into every Windows executable that shows the window.
enable_language(RC)
add_library(velmora_windows_resources OBJECT ${CMAKE_CURRENT_LIST_DIR}/velmora.rc)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/velmora.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/velmora.ico;${CMAKE_CURRENT_LIST_DIR}/velmora.manifest")
