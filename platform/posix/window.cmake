# The window and the open dialog on the Linux desktop: FLTK 1.3 on X11.
# Found directly rather than through Debian's FLTK package configuration, which needs fluid.
find_path(VELMORA_FLTK_INCLUDE_DIR FL/Fl.H)
find_library(VELMORA_FLTK_LIBRARY fltk)
find_package(X11 REQUIRED)
if(NOT VELMORA_FLTK_INCLUDE_DIR OR NOT VELMORA_FLTK_LIBRARY)
  message(FATAL_ERROR "FLTK 1.3 not found: install libfltk1.3-dev")
endif()

add_library(velmora_posix_window STATIC
  ${CMAKE_CURRENT_LIST_DIR}/fltk_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fltk_file_dialog.cpp)
target_include_directories(velmora_posix_window SYSTEM PUBLIC ${VELMORA_FLTK_INCLUDE_DIR} ${X11_INCLUDE_DIR})
target_link_libraries(velmora_posix_window
  PUBLIC velmora_core velmora_resources ${VELMORA_FLTK_LIBRARY} ${X11_LIBRARIES})
