# The whole use with the real window, the real sequencer layer and the private sound server.
add_executable(velmora_whole_use_tests
  ${CMAKE_CURRENT_LIST_DIR}/whole_use_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/x11_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sink_monitor.cpp)
target_compile_definitions(velmora_whole_use_tests PRIVATE VELMORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(velmora_whole_use_tests PRIVATE
  velmora_posix_window velmora_posix_sequencer velmora_fake ${VELMORA_XTEST_LIBRARY} GTest::gtest_main)
gtest_discover_tests(velmora_whole_use_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120
  ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/posix_window.lsan.supp:print_suppressions=0")
