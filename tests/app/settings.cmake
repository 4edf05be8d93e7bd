# Tests of the command-line parser and the raw settings record.
add_executable(kavlo_settings_tests
  ${CMAKE_CURRENT_LIST_DIR}/CommandLineTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameSizeGuessTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileNameHintsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Y4mHeaderTest.cpp)
target_link_libraries(kavlo_settings_tests PRIVATE kavlo_settings kavlo_clipgen GTest::gtest_main kavlo_warnings)
gtest_discover_tests(kavlo_settings_tests DISCOVERY_MODE PRE_TEST TEST_PREFIX "settings.")

kavlo_fuzz_target(kavlo_fuzz_command_line
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzCommandLine.cpp
  LIBS kavlo_settings
  SECONDS 15)

kavlo_fuzz_target(kavlo_fuzz_y4m_header
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzY4mHeader.cpp
  LIBS kavlo_settings
  SECONDS 15)

kavlo_fuzz_target(kavlo_fuzz_file_name_hints
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzFileNameHints.cpp
  LIBS kavlo_settings
  SECONDS 15)
