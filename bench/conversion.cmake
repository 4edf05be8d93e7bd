# Conversion benchmark against libyuv and libswscale (not part of CTest). Built only with
# -DKAVLO_BENCH=ON; bench/conversion/run.sh runs it and writes bench/RESULTS-conversion.md.
if(KAVLO_BENCH)
  find_package(benchmark REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(KAVLO_SWSCALE REQUIRED IMPORTED_TARGET libswscale libavutil)
  find_library(KAVLO_LIBYUV yuv REQUIRED)
  add_executable(kavlo_bench_conversion ${CMAKE_CURRENT_LIST_DIR}/conversion/ConvertBench.cpp)
  target_link_libraries(kavlo_bench_conversion PRIVATE
    kavlo_convert benchmark::benchmark PkgConfig::KAVLO_SWSCALE ${KAVLO_LIBYUV} kavlo_warnings)
endif()
# The other matrices and ranges against the default path, libyuv's and libswscale's matrix
# variants (bench/conversion/run_colour.sh writes bench/RESULTS-colour.md).
if(KAVLO_BENCH)
  add_executable(kavlo_bench_colour ${CMAKE_CURRENT_LIST_DIR}/conversion/ColourBench.cpp)
  target_link_libraries(kavlo_bench_colour PRIVATE
    kavlo_convert benchmark::benchmark PkgConfig::KAVLO_SWSCALE ${KAVLO_LIBYUV} kavlo_warnings)
endif()
