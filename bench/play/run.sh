#!/usr/bin/env bash
# Times Kavlo's play-through (-play, Qt's offscreen platform) on generated 1080p and 2160p clips
# in several layouts, next to ffmpeg converting the same files to bgr24 in the same run, and
# writes the table to bench/RESULTS-play.md.
#   bench/play/run.sh [BIN_DIR]     (default: a release build made by scripts/build.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
if [ $# -ge 1 ]; then bin=$(cd "$1" && pwd); else bin=$(bash scripts/build.sh | tail -n 1); fi
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed for the comparison" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
runs=${KAVLO_BENCH_RUNS:-3}

# layout, ffmpeg pixel format, width, height, frames
cases=(
  "UYVY uyvy422 1920 1080 120"
  "I420 yuv420p 1920 1080 120"
  "P010 p010le 1920 1080 120"
  "BGRA bgra 1920 1080 120"
  "GRAY gray 1920 1080 120"
  "UYVY uyvy422 3840 2160 40"
  "I420 yuv420p 3840 2160 40"
  "P010 p010le 3840 2160 40"
  "BGRA bgra 3840 2160 40"
)

now() { date +%s.%N; }
rows=()
for c in "${cases[@]}"; do
  read -r layout pixfmt w h n <<<"$c"
  clip=$work/clip.raw
  line=$("$bin/kavlo-clipgen" -l "$layout" -w "$w" -h "$h" -n "$n" -o "$clip" --print-args)
  eval "settings=($line)"
  cat "$clip" >/dev/null   # both readers start from the page cache
  best_kavlo=0 best_wall=999999 best_ff=0 best_ffwall=999999
  for _ in $(seq "$runs"); do
    t0=$(now)
    log=$("$bin/Kavlo" -play "${settings[@]}" 2>&1 >/dev/null)
    t1=$(now)
    fps=$(sed -n 's/.*PlayThrough: \([0-9]*\) frames in \([0-9.]*\) s (\([0-9.]*\) frames per second).*/\3/p' <<<"$log")
    frames=$(sed -n 's/.*PlayThrough: \([0-9]*\) frames.*/\1/p' <<<"$log")
    [ "$frames" = "$n" ] || { echo "$log" >&2; echo "Kavlo showed ${frames:-no} frames of $n ($layout ${w}x$h)" >&2; exit 1; }
    best_kavlo=$(awk -v a="$best_kavlo" -v b="$fps" 'BEGIN { print (b > a) ? b : a }')
    best_wall=$(awk -v a="$best_wall" -v b="$(awk -v x="$t0" -v y="$t1" 'BEGIN { print y - x }')" 'BEGIN { print (b < a) ? b : a }')

    t0=$(now)
    out=$(ffmpeg -hide_banner -nostdin -benchmark -f rawvideo -pix_fmt "$pixfmt" -s "${w}x$h" -i "$clip" \
      -pix_fmt bgr24 -f null - 2>&1)
    t1=$(now)
    rtime=$(sed -n 's/.*bench: utime=.* rtime=\([0-9.]*\)s.*/\1/p' <<<"$out" | tail -n 1)
    [ -n "$rtime" ] || { echo "$out" >&2; exit 1; }
    ff=$(awk -v r="$rtime" -v n="$n" 'BEGIN { print (r > 0) ? n / r : 0 }')
    best_ff=$(awk -v a="$best_ff" -v b="$ff" 'BEGIN { print (b > a) ? b : a }')
    best_ffwall=$(awk -v a="$best_ffwall" -v b="$(awk -v x="$t0" -v y="$t1" 'BEGIN { print y - x }')" 'BEGIN { print (b < a) ? b : a }')
  done
  row=$(awk -v l="$layout" -v w="$w" -v h="$h" -v n="$n" -v k="$best_kavlo" -v kw="$best_wall" -v f="$best_ff" \
    -v fw="$best_ffwall" \
    'BEGIN { printf "| %s | %dx%d | %d | %.1f | %.1f | %.1f | %.1f | %.2f |", l, w, h, n, k, n / kw, f, n / fw, k / f }')
  echo "$row"
  rows+=("$row")
  rm -f "$clip"
done

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
{
  echo "# Play-through speed: Kavlo -play next to ffmpeg"
  echo
  echo "Measured $(date -u '+%Y-%m-%d') on $cpu, $(nproc) cores, $(uname -sr); release build (gcc -O2, the release preset),"
  echo "Qt offscreen platform, clips from kavlo-clipgen read from the page cache; best of $runs runs."
  echo "The machine was shared with other builds while it ran, so single rows can be off by a wide margin."
  echo
  echo "- *Kavlo fps*: frames per second of the play-through itself (load, convert to B'G'R',"
  echo "  render fields, paint the visible part of the picture into the offscreen window), as Kavlo"
  echo "  reports it; *Kavlo fps incl. start*: frames divided by the whole process time (start-up,"
  echo "  plug-in scan, window, exit)."
  echo "- *ffmpeg fps*: \`ffmpeg -f rawvideo -pix_fmt <fmt> -s WxH -i clip -pix_fmt bgr24 -f null -\`,"
  echo "  frames divided by the transcoding time ffmpeg's -benchmark reports (rtime); *incl. start*:"
  echo "  divided by the whole process time. ffmpeg converts every frame to bgr24 and draws nothing."
  echo "- *Kavlo / ffmpeg*: the two play-through rates (first and third column of rates)."
  echo
  echo "Reproduce: \`bash bench/play/run.sh\` (builds a release with scripts/build.sh first)."
  echo
  echo "| layout | size | frames | Kavlo fps | Kavlo fps incl. start | ffmpeg fps | ffmpeg fps incl. start | Kavlo / ffmpeg |"
  echo "|---|---|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
} >"$root/bench/RESULTS-play.md"
echo "Written: bench/RESULTS-play.md"
