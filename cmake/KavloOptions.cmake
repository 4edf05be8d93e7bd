# Compiler settings shared by every target of the project.
add_library(kavlo_warnings INTERFACE)
target_compile_options(kavlo_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wconversion -Wsign-conversion)
if(KAVLO_WERROR)
  target_compile_options(kavlo_warnings INTERFACE -Werror)
endif()

# Qt's signal/slot keywords stay off everywhere: they are macros that clash with plain names
# (an OpenMP "slots" member, a "foreach" helper); Q_SIGNALS, Q_SLOTS and Q_EMIT say the same.
add_compile_definitions(QT_NO_KEYWORDS)

if(KAVLO_SANITIZE)
  # One report fails the run: no recovery after the first UB finding.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(KAVLO_TSAN)
  # ThreadSanitizer for the tests of the read-ahead worker and of playback (preset "tsan"); it
  # cannot be combined with AddressSanitizer.
  if(KAVLO_SANITIZE)
    message(FATAL_ERROR "KAVLO_TSAN and KAVLO_SANITIZE exclude each other")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(KAVLO_FUZZ)
  # Coverage feedback for the fuzz targets from all project code, not only the harness.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

find_package(OpenMP REQUIRED COMPONENTS CXX)

# kavlo_fuzz_target(name sources... LIBS libs...): a libFuzzer executable, run for a bounded
# time as a test.
function(kavlo_fuzz_target name)
  cmake_parse_arguments(F "" "SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT KAVLO_FUZZ)
    return()
  endif()
  if(NOT F_SECONDS)
    set(F_SECONDS 15)
  endif()
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS} kavlo_warnings)
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  file(MAKE_DIRECTORY ${corpus})
  set(seeds)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
    set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  endif()
  add_test(NAME ${name}
           COMMAND ${name} -max_total_time=${F_SECONDS} -rss_limit_mb=4096 -print_final_stats=0
                   ${corpus} ${seeds})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 300)
endfunction()
