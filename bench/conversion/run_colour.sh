#!/usr/bin/env bash
# Builds the colour benchmark in the bench tree, runs it with repetitions and prints the Markdown
# table (bench/RESULTS-colour.md is this output plus the notes under it).
# Usage: bench/conversion/run_colour.sh [extra benchmark arguments] > table.md
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${KAVLO_BENCH_BUILD:-build-bench}
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target kavlo_bench_colour >&2
json=$(mktemp)
load=$(cut -d' ' -f1-3 /proc/loadavg)
"$build/bin/kavlo_bench_colour" --benchmark_repetitions=5 --benchmark_min_time=0.1 \
  --benchmark_out="$json" --benchmark_out_format=json "$@" >&2
echo "Made by \`bench/conversion/run_colour.sh\` ($(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD)):"
echo "\`$build/bin/kavlo_bench_colour --benchmark_repetitions=5 --benchmark_min_time=0.1\`, medians of the 5 repetitions; load average at start $load."
echo
python3 bench/conversion/make_colour_table.py "$json"
if [ -n "${KAVLO_KEEP_JSON:-}" ]; then cp "$json" "$KAVLO_KEEP_JSON"; fi
rm -f "$json"
