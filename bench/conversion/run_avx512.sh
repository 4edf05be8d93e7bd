#!/usr/bin/env bash
# The AVX-512 set against the AVX2 set and libyuv in one run (bench/RESULTS-conversion-avx512.md
# is this output plus the notes under it). Needs a processor with AVX-512; the benchmarks run
# interleaved at random, so that a change of load falls on both sets alike.
# Usage: bench/conversion/run_avx512.sh [repetitions] > table.md
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${KAVLO_BENCH_BUILD:-build-bench}
reps=${1:-9}
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target kavlo_bench_conversion >&2
layouts='YV12|I420|I420LE16|I420BE16|P010|P016|P210|P216|YUY2|YUYV|V422|UYVY|VYUY|YVYU|Y210|v210|YV24|RGB3|BGRA|GRAY'
filter="^((kavlo|kavlo-avx2)/($layouts)/[0-9x]+/1t|libyuv/($layouts)/[0-9x]+|line/[A-Za-z0-9]+)/real_time\$"
json=$(mktemp)
"$build/bin/kavlo_bench_conversion" --benchmark_filter="$filter" \
  --benchmark_repetitions="$reps" --benchmark_min_time=0.1 \
  --benchmark_enable_random_interleaving=true \
  --benchmark_out="$json" --benchmark_out_format=json >&2
echo "Made by \`bench/conversion/run_avx512.sh $reps\` ($(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD)):"
echo "\`$build/bin/kavlo_bench_conversion --benchmark_filter='$filter' --benchmark_repetitions=$reps --benchmark_min_time=0.1 --benchmark_enable_random_interleaving=true\`, medians of the $reps repetitions; load average at the end $(cut -d' ' -f1-3 /proc/loadavg)."
echo
python3 bench/conversion/make_avx512_table.py "$json"
rm -f "$json"
