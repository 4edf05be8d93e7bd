#!/usr/bin/env bash
# Builds everything with clang, AddressSanitizer and UndefinedBehaviorSanitizer, then runs every
# test (unit, widget, end-to-end and bounded fuzz runs) through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

build=${KAVLO_TEST_BUILD:-build-test}
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKAVLO_SANITIZE=ON -DKAVLO_FUZZ=ON -DKAVLO_TESTS=ON >/dev/null
cmake --build "$build" -j2

# A sanitizer finding ends the process with a failure; leaks are reported at exit.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:halt_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j2 --timeout 600
