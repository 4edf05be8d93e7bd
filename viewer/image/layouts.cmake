# The pixel layout catalogue, the raw video format block builder and the frame-memory table.
add_library(kavlo_layouts STATIC
  ${CMAKE_CURRENT_LIST_DIR}/PixelLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameMemory.cpp)
target_include_directories(kavlo_layouts PUBLIC ${PROJECT_SOURCE_DIR}/viewer)
target_link_libraries(kavlo_layouts PRIVATE kavlo_warnings)
