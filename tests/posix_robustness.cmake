# Hostile input and long runs through the real Linux layer.
add_executable(velmora_hostile_input_tests ${CMAKE_CURRENT_LIST_DIR}/hostile_input_test.cpp)
target_include_directories(velmora_hostile_input_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(velmora_hostile_input_tests PRIVATE VELMORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(velmora_hostile_input_tests PRIVATE velmora_posix_sequencer velmora_fake GTest::gtest_main)
gtest_discover_tests(velmora_hostile_input_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 300)

add_test(NAME NoDisplay.ExitsWithAMessageBeforeAnyWindow
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/no_display_test.sh $<TARGET_FILE:velmora>)

add_executable(velmora_soak_test ${CMAKE_CURRENT_LIST_DIR}/soak_test.cpp)
target_compile_definitions(velmora_soak_test PRIVATE VELMORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(velmora_soak_test PRIVATE velmora_posix_sequencer velmora_fake GTest::gtest_main)
gtest_discover_tests(velmora_soak_test DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 1200 LABELS soak)
