# Cost of the histogram statistics and of the values drawn on zoomed pixels on 4K frames (only
# with -DKAVLO_BENCH=ON).
if(KAVLO_BENCH)
  find_package(benchmark REQUIRED)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_executable(kavlo_bench_analysis ${CMAKE_CURRENT_LIST_DIR}/common/UhdViewMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/analysis/AnalysisBench.cpp)
  target_link_libraries(kavlo_bench_analysis PRIVATE
    kavlo_view kavlo_analysis kavlo_clipgen kavlo_layouts TarnCore Qt6::Widgets benchmark::benchmark
    kavlo_warnings)
  target_include_directories(kavlo_bench_analysis PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  add_dependencies(kavlo_bench_analysis quern)
endif()
