#!/usr/bin/env bash
# Builds and runs every test twice, with warnings as errors in both builds:
#  1. clang with AddressSanitizer and UndefinedBehaviorSanitizer: unit, widget, end-to-end tests
#     and bounded fuzz runs (CMake preset "test");
#     and, while its tests run, clang-tidy over every C++ source file with its compile commands;
#  2. clang with ThreadSanitizer: every test that starts threads, the label "threads" (preset
#     "tsan");
#  3. a gcc release build, as the product ships (-O2): the same tests but the fuzz runs and the
#     shuffled reruns (preset "test-gcc"), then its Debian package, checked unpacked
#     (tests/package).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

test_build=${KAVLO_TEST_BUILD:-build-test}
gcc_build=${KAVLO_TEST_GCC_BUILD:-build-test-gcc}
export QT_QPA_PLATFORM=offscreen

echo "== clang, AddressSanitizer + UndefinedBehaviorSanitizer (at ${SECONDS} s) =="
cmake --preset test -B "$test_build" >/dev/null
cmake --build "$test_build" -j2
# clang-tidy reads this build's compile commands while its tests run, at the lowest priority: the
# tests wait on their child processes, the X server and the disk often enough to leave it most
# of two cores, and they lose almost nothing to it. Its findings are printed after the tests.
tidy_log="$test_build/clang-tidy.log"
KAVLO_TIDY_BUILD="$test_build" nice -n 19 bash scripts/tidy.sh --all >"$tidy_log" 2>&1 &
tidy_pid=$!
trap 'kill "$tidy_pid" 2>/dev/null || true' EXIT
(
  # A sanitizer finding ends the process with a failure; leaks are reported at exit.
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:halt_on_error=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
  cd "$test_build"
  ctest --output-on-failure -j2 --timeout 600
)

echo "== clang-tidy: every C++ source file (.clang-tidy) (at ${SECONDS} s) =="
# Warnings are errors, so a finding fails the run.
tidy_status=0
wait "$tidy_pid" || tidy_status=$?
trap - EXIT
cat "$tidy_log"
if ((tidy_status != 0)); then
  echo "clang-tidy found the above (scripts/tidy.sh FILE checks one file)" >&2
  exit 1
fi

echo "== ThreadSanitizer: the tests that start threads (label \"threads\") (at ${SECONDS} s) =="
# Each test executable's cases that start threads carry the label (tests/CMakeLists.txt,
# kavlo_gtest_tests): a background job (file_tests), the read-ahead cache (picture_tests, and the
# view showing its frames in view_tests), the PSNR of whole files (analysis_tests), playback and
# the window's background work (shell_tests), the conversion team, the tool's workers.
tsan_build=${KAVLO_TEST_TSAN_BUILD:-build-tsan}
cmake --preset tsan -B "$tsan_build" >/dev/null
# The executables that hold such tests (and the tool and plug-in they run); no other.
cmake --build "$tsan_build" -j2 --target file_tests picture_tests analysis_tests view_tests \
  shell_tests conversion_tests kavlo_tool_tests
(
  # The OpenMP runtime is not instrumented: its own bookkeeping when threads that are not its
  # own (the whole-file PSNR workers) start and end reads as races unless it is left out.
  export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1}
  cd "$tsan_build"
  ctest --output-on-failure -j2 --timeout 600 -L threads
)

echo "== gcc release (-O2) (at ${SECONDS} s) =="
cmake --preset test-gcc -B "$gcc_build" >/dev/null
cmake --build "$gcc_build" -j2
# The shuffled reruns of whole programs (order independence) ran in the first build already.
(cd "$gcc_build" && ctest --output-on-failure -j2 --timeout 600 -LE 'fuzz|gui-shuffle')

echo "== Debian package from the gcc release build (at ${SECONDS} s) =="
rm -f "$gcc_build"/kavlo_*.deb
(cd "$gcc_build" && cpack -G DEB >/dev/null)
bash tests/package/check_deb.sh "$(ls "$gcc_build"/kavlo_*.deb)" "$gcc_build/bin/kavlo-clipgen"
echo "== all passed in ${SECONDS} s =="
