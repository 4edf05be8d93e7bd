# Tests of the layout catalogue, the format block builder and the frame-memory table.
add_executable(kavlo_layouts_tests
  ${CMAKE_CURRENT_LIST_DIR}/PixelLayoutTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameMemoryTest.cpp)
target_link_libraries(kavlo_layouts_tests PRIVATE kavlo_layouts GTest::gtest_main kavlo_warnings)
gtest_discover_tests(kavlo_layouts_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES TEST_PREFIX "layouts.")

kavlo_fuzz_target(kavlo_fuzz_raw_video_format
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzRawVideoFormat.cpp
  LIBS kavlo_layouts
  SECONDS 15)
