#!/usr/bin/env bash
# Builds the conversion benchmark in a gcc -O2 release tree, runs it with repetitions and prints
# the Markdown table (bench/RESULTS-conversion.md is this output plus the notes under it).
# Usage: bench/conversion/run.sh [extra benchmark arguments] > table.md
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${KAVLO_BENCH_BUILD:-build-bench}
# The bench preset: a release with -O2, as the product is built.
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target kavlo_bench_conversion >&2
json=$(mktemp)
"$build/bin/kavlo_bench_conversion" --benchmark_repetitions=5 --benchmark_min_time=0.1 \
  --benchmark_out="$json" --benchmark_out_format=json "$@" >&2
echo "Made by \`bench/conversion/run.sh\` ($(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD)):"
echo "\`$build/bin/kavlo_bench_conversion --benchmark_repetitions=5 --benchmark_min_time=0.1 $*\`,"
echo "medians of the repetitions (the last --benchmark_repetitions given)."
echo
python3 bench/conversion/make_table.py "$json"
rm -f "$json"
