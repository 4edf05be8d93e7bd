#!/usr/bin/env bash
# Times Kavlo's play-through (-play, Qt's offscreen platform) on generated 1080p and 2160p clips
# in several layouts, next to ffmpeg converting the same files to bgr24 in the same run, then the
# timed play-through (-play -fps R) with its drops and peak memory, and writes both tables to
# bench/RESULTS-play.md.
#   bench/play/run.sh [BIN_DIR]     (default: a release build made by scripts/build.sh)
#   KAVLO_BENCH_TIMED_ONLY=1: only the timed play-through; the first table stays as committed.
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
[ "${KAVLO_BENCH_TIMED_ONLY:-0}" = 1 ] && cases=()
for c in "${cases[@]}"; do
  read -r layout pixfmt w h n <<<"$c"
  clip=$work/clip.raw
  line=$("$bin/kavlo-clipgen" -l "$layout" -w "$w" -h "$h" -n "$n" -o "$clip" --print-args)
  eval "settings=($line)"
  sync                     # the clip's writeback is over before anything is timed
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

# Timed play-through (-play -fps R): frames from the read-ahead cache by the clock, late ones
# dropped. layout, width, height, frames, rate; the best run is the one with the fewest drops.
# Peak memory (maximum resident set) comes from /usr/bin/time -v.
fps_cases=(
  "UYVY 3840 2160 300 60"
  "I420 3840 2160 300 60"
  "P010 3840 2160 300 60"
  "I420 7680 4320 90 30"
  "I420 1280 720 30 240"
  "I420 1280 720 3000 240"
)
# timed LOG_FILE: "shown seconds rate dropped maxrss_kb" of one run.
timed() {
  local shown secs rate dropped rss
  read -r shown secs rate dropped < <(sed -n 's/.*PlayThrough: \([0-9]*\) frames in \([0-9.]*\) s (\([0-9.]*\) frames per second), \([0-9]*\) dropped.*/\1 \2 \3 \4/p' "$1")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): \([0-9]*\).*/\1/p' "$1")
  echo "$shown $secs $rate $dropped $rss"
}
fps_rows=()
for c in "${fps_cases[@]}"; do
  read -r layout w h n rate <<<"$c"
  clip=$work/clip.raw
  line=$("$bin/kavlo-clipgen" -l "$layout" -w "$w" -h "$h" -n "$n" -o "$clip" --print-args)
  eval "settings=($line)"
  # The clip was just written: let the writeback end before timing, so that the runs read from
  # the page cache and not beside the disk's writes (a first run right after writing dropped
  # a hundred 4K frames more than the next ones).
  sync
  cat "$clip" >/dev/null
  best=""
  for _ in $(seq "$runs"); do
    /usr/bin/time -v "$bin/Kavlo" -play -fps "$rate" "${settings[@]}" >/dev/null 2>"$work/timed.log" || { cat "$work/timed.log" >&2; exit 1; }
    read -r shown secs achieved dropped rss < <(timed "$work/timed.log")
    [ -n "$dropped" ] && [ $((shown + dropped)) -eq "$n" ] || { cat "$work/timed.log" >&2; echo "Kavlo did not account for $n frames ($layout ${w}x$h)" >&2; exit 1; }
    # Fewest dropped; among equals the highest achieved rate (a run can drop nothing and still
    # fall behind the clock when frames come late).
    if [ -z "$best" ] || [ "$dropped" -lt "$(cut -d' ' -f4 <<<"$best")" ] ||
      { [ "$dropped" -eq "$(cut -d' ' -f4 <<<"$best")" ] &&
        awk -v a="$achieved" -v b="$(cut -d' ' -f3 <<<"$best")" 'BEGIN { exit !(a > b) }'; }; then
      best="$shown $secs $achieved $dropped $rss"
    fi
  done
  read -r shown secs achieved dropped rss <<<"$best"
  row=$(awk -v l="$layout" -v w="$w" -v h="$h" -v n="$n" -v r="$rate" -v s="$shown" -v d="$dropped" -v a="$achieved" -v m="$rss" \
    'BEGIN { printf "| %s | %dx%d | %d | %d | %d | %d | %.1f | %.0f |", l, w, h, n, r, s, d, a, m / 1024 }')
  echo "$row"
  fps_rows+=("$row")
  rm -f "$clip"
done
load=$(cut -d' ' -f1-3 /proc/loadavg)

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
timed_section() {
  echo "## Timed play-through: -play -fps R through the read-ahead cache"
  echo
  echo "\`Kavlo -play -fps R\` shows the frames at R per second by a steady clock, taking them from the"
  echo "read-ahead cache (default cap 2 GiB, at most a quarter of the machine's memory; a reader thread"
  echo "reads ahead, at most 512 MiB of raw frames, and a render thread renders the nearest; the cap counts every block the cache makes: the reader's buffer, the"
  echo "render scratch, raw frames and pictures in the cache, held by the window or spare) and dropping"
  echo "the ones that are late. *shown* + *dropped* = *frames*; *achieved*: shown frames per second as"
  echo "Kavlo logs it; *peak MB*: the maximum resident set (\`/usr/bin/time -v\`). The two 1280x720 rows"
  echo "are the same clip at 30 and 3,000 frames: their peaks must lie within the cache cap of each other."
  echo "Measured $(date -u '+%Y-%m-%d %H:%M') UTC on $cpu, $(nproc) cores; best of $runs runs (fewest dropped, then highest achieved)."
  echo "Load average when the runs ended: $load."
  echo "\`KAVLO_PLAY_STAGES=1\` adds a log line with the time per stage (read, render, show and paint)."
  echo
  echo "| layout | size | frames | fps | shown | dropped | achieved | peak MB |"
  echo "|---|---|---|---|---|---|---|---|"
  printf '%s\n' "${fps_rows[@]}"
}
if [ "${KAVLO_BENCH_TIMED_ONLY:-0}" = 1 ]; then
  first=$(sed '/^## Timed play-through/,$d' "$root/bench/RESULTS-play.md")
  { printf '%s\n' "$first"; timed_section; } >"$root/bench/RESULTS-play.md.new"
  mv "$root/bench/RESULTS-play.md.new" "$root/bench/RESULTS-play.md"
  echo "Written: bench/RESULTS-play.md (timed play-through)"
  exit 0
fi
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
  echo
  timed_section
} >"$root/bench/RESULTS-play.md"
echo "Written: bench/RESULTS-play.md"
