# The Windows platform under Wine: CTest runs these through wine64, the cross-compiling emulator.
# Wine shows the Linux file system as drive Z:.
string(REPLACE "/" "\\\\" demoTune "Z:${PROJECT_SOURCE_DIR}/resources/demo/velmora-demo.mid")

add_executable(velmora_win32_tests windows_test.cpp)
# The resources bring Velmora.exe's manifest too: the tests run under its UTF-8 code page.
target_link_libraries(velmora_win32_tests PRIVATE
  velmora_win32 velmora_windows_resources GTest::gtest_main)
target_compile_definitions(velmora_win32_tests PRIVATE "VELMORA_DEMO_TUNE=\"${demoTune}\"")
# One window and one open dialog at a time: the tests find them by their titles. Wine may take
# longer than the 5 s CTest gives a listing to start on a busy machine.
gtest_discover_tests(velmora_win32_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES RUN_SERIAL TRUE TIMEOUT 120)
