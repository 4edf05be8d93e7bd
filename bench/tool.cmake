# kavlo-tool benchmark: `cmake --build <build> --target bench_tool` times kavlo-tool compare and
# export next to ffmpeg and writes bench/RESULTS-tool.md (meaningful in a release build).
if(TARGET kavlo-tool AND TARGET kavlo-clipgen)
  add_custom_target(bench_tool
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/tool/run.sh ${KAVLO_BIN_DIR}
    DEPENDS kavlo-tool kavlo-clipgen quern
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    USES_TERMINAL)
endif()
