# Frame conversion: line kernels (scalar, SSE2, SSSE3, AVX2, AVX-512 chosen at run time), the
# frame conversion, its thread-team policy, the reference-counted image storage and the row
# kernels of the view's paint (PaintRows). No Qt.
add_library(kavlo_convert STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Convert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ConvertGeneric.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ChromaTaps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Demosaic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Demosaic_avx2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImageBuffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ThreadTeam.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Kernels_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Kernels_scalar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Kernels_sse2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Kernels_ssse3.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Kernels_avx2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Kernels_avx2_vuya.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Kernels_wide.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Kernels_avx2_wide.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Kernels_avx2_lines.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Kernels_avx512.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PaintRows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PaintRows_ssse3.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PaintRows_avx2.cpp)
target_include_directories(kavlo_convert PUBLIC ${PROJECT_SOURCE_DIR}/viewer)
target_link_libraries(kavlo_convert PUBLIC kavlo_layouts OpenMP::OpenMP_CXX PRIVATE kavlo_warnings)
# Only these files may use instructions beyond the x86-64 baseline; the table picks them by
# CPUID. No FMA: the float kernels round every product on its own, as the reference does.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/Kernels_ssse3.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/PaintRows_ssse3.cpp
                            PROPERTIES COMPILE_OPTIONS -mssse3)
# The AVX2 set also has FMA (the table checks both); the fused 4:2:2 kernels write out the
# multiply-adds that are proven to give the same bytes, and nothing is contracted implicitly.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/Kernels_avx2.cpp
                            PROPERTIES COMPILE_OPTIONS "-mavx2;-mfma;-ffp-contract=off")
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/Kernels_avx2_vuya.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/Kernels_avx2_wide.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/Kernels_avx2_lines.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/Demosaic_avx2.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/PaintRows_avx2.cpp
                            PROPERTIES COMPILE_OPTIONS -mavx2)
# The AVX-512 set (F, BW, VL, DQ, VBMI), chosen only where CPUID and the operating system allow
# it. Clang's AVX-512 implies FMA: no contraction keeps every product rounded on its own (the
# set's multiply-adds are written out where they are proven to give the same bytes).
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/Kernels_avx512.cpp
                            PROPERTIES COMPILE_OPTIONS
                            "-mavx2;-mavx512f;-mavx512bw;-mavx512vl;-mavx512dq;-mavx512vbmi;-ffp-contract=off")
