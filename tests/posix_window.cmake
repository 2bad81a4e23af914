# The Linux window and open dialog. They need an X display: ./test.sh runs them inside
# tests/desktop_session.sh; without DISPLAY they skip.
find_library(VELMORA_XTEST_LIBRARY Xtst)
if(NOT VELMORA_XTEST_LIBRARY)
  message(FATAL_ERROR "libXtst not found: install libxtst-dev")
endif()

add_executable(velmora_linux_window_tests linux_window_test.cpp linux_dialog_test.cpp x11_harness.cpp)
target_link_libraries(velmora_linux_window_tests PRIVATE
  velmora_posix_window velmora_posix_sequencer velmora_fake ${VELMORA_XTEST_LIBRARY} GTest::gtest_main)
# In the sanitizer build, the desktop libraries' lifelong caches are not leaks of ours.
gtest_discover_tests(velmora_linux_window_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 60
  ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/posix_window.lsan.supp:print_suppressions=0")
