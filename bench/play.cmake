# Play-through benchmark: `cmake --build <build> --target bench_play` times Kavlo -play on
# generated clips next to ffmpeg and writes bench/RESULTS-play.md (meaningful in a release build).
if(TARGET Kavlo AND TARGET kavlo-clipgen)
  add_custom_target(bench_play
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/play/run.sh ${KAVLO_BIN_DIR}
    DEPENDS Kavlo kavlo-clipgen quern
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    USES_TERMINAL)
endif()
