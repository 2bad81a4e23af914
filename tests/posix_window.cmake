# The Linux window and open dialog. The window tests need an X display: ./test.sh runs them inside
# tests/desktop_session.sh; without DISPLAY they skip.
find_library(VELMORA_XTEST_LIBRARY Xtst)
if(NOT VELMORA_XTEST_LIBRARY)
  message(FATAL_ERROR "libXtst not found: install libxtst-dev")
endif()

add_executable(velmora_posix_window_tests
  posix_file_dialog_test.cpp
  posix_window_test.cpp
  posix_window_input_test.cpp
  posix_closing_test.cpp
  x11_session.cpp)
target_link_libraries(velmora_posix_window_tests
  PRIVATE velmora_posix_window velmora_fake ${VELMORA_XTEST_LIBRARY} GTest::gtest_main)
# In the sanitizer build, the desktop libraries' lifelong caches are not leaks of ours.
gtest_discover_tests(velmora_posix_window_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120
  ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/posix_window.lsan.supp:print_suppressions=0")
