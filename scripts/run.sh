#!/usr/bin/env bash
# Installs what is missing, builds a release, generates a sample clip with kavlo-clipgen and opens
# it in Kavlo with the matching settings. Without a display the clip is played through once on
# Qt's offscreen platform instead, and the frame count and frames per second are printed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
bin=$(bash scripts/build.sh | tail -n 1)

samples=${KAVLO_SAMPLE_DIR:-$PWD/${KAVLO_RELEASE_BUILD:-build-release}/samples}
mkdir -p "$samples"
clip="$samples/sample-uyvy-720x576.raw"
frames=${KAVLO_SAMPLE_FRAMES:-100}
line=$("$bin/kavlo-clipgen" -l UYVY -w 720 -h 576 -n "$frames" -o "$clip" --print-args)
eval "settings=($line)"   # the settings that open the clip, ending with its path
echo "Sample clip: $clip ($frames frames, UYVY 720x576)"
echo "Settings:    ${settings[*]}"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting Kavlo."
  exec "$bin/Kavlo" "${settings[@]}"
fi

echo "No display available (DISPLAY is empty): playing the clip through once on Qt's offscreen platform."
log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$(date +%s.%N)
status=0
QT_QPA_PLATFORM=offscreen "$bin/Kavlo" -play "${settings[@]}" 2>"$log" || status=$?
end=$(date +%s.%N)
if [ "$status" -ne 0 ]; then
  cat "$log" >&2
  echo "Kavlo ended with status $status." >&2
  exit "$status"
fi
# Kavlo logs "PlayThrough: <n> frames in <s> s (<fps> frames per second)" when it is done.
played=$(sed -n 's/.*PlayThrough: \([0-9]*\) frames in \([0-9.]*\) s (\([0-9.]*\) frames per second).*/\1 \2 \3/p' "$log" | tail -n 1)
if [ -z "$played" ]; then
  cat "$log" >&2
  echo "Kavlo did not report a play-through." >&2
  exit 1
fi
read -r n secs fps <<<"$played"
echo "Frames shown: $n"
echo "Play-through: $secs s, $fps frames per second"
awk -v a="$start" -v b="$end" 'BEGIN { printf "Whole run (start-up, play-through, exit): %.2f s\n", b - a }'
