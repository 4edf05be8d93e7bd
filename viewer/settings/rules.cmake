# The reading rules: the command-line parser, the frame-size guess, file-name hints, the YUV4MPEG2
# header, the open plan that decides between them, and text made safe for a terminal (no Qt).
add_library(kavlo_settings STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameSizeGuess.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileNameHints.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Y4mHeader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OpenPlan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TerminalText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TerminalText.h
  ${CMAKE_CURRENT_LIST_DIR}/FrameSpan.h)
target_include_directories(kavlo_settings PUBLIC ${PROJECT_SOURCE_DIR}/viewer)
target_link_libraries(kavlo_settings PUBLIC kavlo_settings_record kavlo_layouts PRIVATE kavlo_warnings)
