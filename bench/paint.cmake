# Paint time of the video view per zoom level on a 4K frame (only with -DKAVLO_BENCH=ON).
if(KAVLO_BENCH)
  find_package(benchmark REQUIRED)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_executable(kavlo_bench_paint ${CMAKE_CURRENT_LIST_DIR}/common/UhdViewMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/paint/PaintBench.cpp)
  target_link_libraries(kavlo_bench_paint PRIVATE
    kavlo_view kavlo_clipgen TarnCore Qt6::Widgets benchmark::benchmark kavlo_warnings)
  target_include_directories(kavlo_bench_paint PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  add_dependencies(kavlo_bench_paint quern)
endif()
