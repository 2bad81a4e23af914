# The window and the open dialog on the Linux desktop: GTK 3, on X11 or Wayland.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VELMORA_GTK REQUIRED IMPORTED_TARGET gtk+-3.0)

add_library(velmora_posix_window STATIC
  ${CMAKE_CURRENT_LIST_DIR}/gtk_window_system.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk_controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk_open_file_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_to_open.cpp
  ${CMAKE_CURRENT_LIST_DIR}/desktop_application.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mpris_player.cpp)
target_link_libraries(velmora_posix_window PUBLIC velmora_core velmora_resources velmora_mci_command
                                                  PkgConfig::VELMORA_GTK)
