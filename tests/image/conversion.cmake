# Frame conversion tests: kernels, whole frames, the thread team, image storage; and a bounded
# fuzz run.
add_executable(conversion_tests
  ${CMAKE_CURRENT_LIST_DIR}/ConvertKernelsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ConvertKernelsWholeTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KernelGuards.h
  ${CMAKE_CURRENT_LIST_DIR}/ConvertFrameTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ConvertTwinsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ConvertSubsamplingTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DemosaicTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ColourConvertTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ThreadTeamTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImageBufferTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PaintRowsTest.cpp)
target_link_libraries(conversion_tests PRIVATE kavlo_convert kavlo_clipgen GTest::gtest_main kavlo_warnings)
# Threads: the conversion team.
kavlo_gtest_tests(conversion_tests THREADS "ThreadTeam.*")

kavlo_fuzz_target(convert_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzConvert.cpp
  LIBS kavlo_convert
  SECONDS 15)

# The tests that convert and paint with the process-wide kernel set, once more with the AVX2 set
# chosen, as a machine without AVX-512 chooses it (the per-set runs test every set the processor
# has whatever the default).
add_test(NAME conversion_tests.default_avx2
         COMMAND conversion_tests
                 --gtest_filter=ConvertFrame.*:ColourFrames.*:ConvertKernels.DetectionAndTables)
set_tests_properties(conversion_tests.default_avx2 PROPERTIES ENVIRONMENT "KAVLO_SIMD=avx2")
