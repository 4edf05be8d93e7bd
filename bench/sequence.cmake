# The PSNR of every frame of two files (analysis/SequenceCompare: B read ahead on a second thread)
# against the same work on one thread (only with -DKAVLO_BENCH=ON).
if(KAVLO_BENCH)
  find_package(benchmark REQUIRED)
  add_executable(kavlo_bench_sequence ${CMAKE_CURRENT_LIST_DIR}/sequence/SequenceBench.cpp)
  target_link_libraries(kavlo_bench_sequence PRIVATE
    kavlo_analysis kavlo_file kavlo_clipgen kavlo_layouts TarnCore benchmark::benchmark kavlo_warnings)
  add_dependencies(kavlo_bench_sequence quern)
endif()
