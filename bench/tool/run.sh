#!/usr/bin/env bash
# Times kavlo-tool next to ffmpeg on the same files and writes bench/RESULTS-tool.md:
#   compare: PSNR of two 1080p I420 sequences of 300 frames (kavlo-tool compare against
#            ffmpeg -lavfi psnr), with the per-frame averages of both checked to agree;
#   export:  100 1080p I420 frames to PNG (kavlo-tool export against ffmpeg -f image2).
#   bench/tool/run.sh [BIN_DIR]     (default: a release build made by scripts/build.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
if [ $# -ge 1 ]; then bin=$(cd "$1" && pwd); else bin=$(bash scripts/build.sh | tail -n 1); fi
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed for the comparison" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=${KAVLO_BENCH_RUNS:-3}
w=1920 h=1080 n=300 exports=100
frame=$((w * h * 3 / 2))
settings=(-w "$w" -h "$h" -l I420)
raw=(-f rawvideo -pix_fmt yuv420p -s "${w}x$h")

# Two sequences that differ as neighbouring frames do: frames 0-299 and 1-300 of one clip.
"$bin/kavlo-clipgen" -l I420 -w "$w" -h "$h" -n $((n + 1)) -o "$work/clip.yuv" >/dev/null
head -c $((n * frame)) "$work/clip.yuv" >"$work/a.yuv"
tail -c $((n * frame)) "$work/clip.yuv" >"$work/b.yuv"
rm "$work/clip.yuv"
cat "$work/a.yuv" "$work/b.yuv" >/dev/null   # both tools start from the page cache

now() { date +%s.%N; }
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

kc="" fc="" ke="" fe="" loads=""
for _ in $(seq "$runs"); do
  loads="$loads $(load);"
  t0=$(now)
  "$bin/kavlo-tool" compare "${settings[@]}" "$work/a.yuv" "$work/b.yuv" >"$work/ours.csv"
  t1=$(now)
  ffmpeg -hide_banner -nostdin -loglevel error "${raw[@]}" -i "$work/a.yuv" "${raw[@]}" -i "$work/b.yuv" \
    -lavfi "psnr=stats_file=$work/theirs.log" -f null -
  t2=$(now)
  kc=$(best "$kc" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
  fc=$(best "$fc" "$(awk -v a="$t1" -v b="$t2" 'BEGIN { print b - a }')")

  rm -rf "$work/k" "$work/f" && mkdir "$work/k" "$work/f"
  t0=$(now)
  "$bin/kavlo-tool" export "${settings[@]}" "$work/a.yuv" --frames 0-$((exports - 1)) \
    --out "$work/k/%04d.png" >/dev/null
  t1=$(now)
  ffmpeg -hide_banner -nostdin -loglevel error "${raw[@]}" -i "$work/a.yuv" -frames:v "$exports" \
    -f image2 "$work/f/%04d.png"
  t2=$(now)
  ke=$(best "$ke" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
  fe=$(best "$fe" "$(awk -v a="$t1" -v b="$t2" 'BEGIN { print b - a }')")
done

# The same PSNR: every frame's average of kavlo-tool (frames from 0) against ffmpeg's (n from 1).
worst=$(awk -F'[ :]' 'NR == FNR { for (i = 1; i < NF; i += 2) if ($i == "psnr_avg") p[$2 - 1] = $(i + 1); next }
  FNR > 1 && $1 !~ /^#/ { split($0, c, ","); d = c[6] - p[c[1]]; if (d < 0) d = -d; if (d > m) m = d; k++ }
  END { if (k != '"$n"') { print "frames: " k; exit 1 } printf "%.4f", m }' "$work/theirs.log" FS=, "$work/ours.csv")
summary=$(tail -n 1 "$work/ours.csv")
kbytes=$(du -sk "$work/k" | cut -f1) fbytes=$(du -sk "$work/f" | cut -f1)

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
row() { awk -v t="$1" -v k="$2" -v f="$3" -v n="$4" \
  'BEGIN { printf "| %s | %.2f s | %.1f | %.2f s | %.1f | %.2f |\n", t, k, n / k, f, n / f, f / k }'; }
{
  echo "# kavlo-tool next to ffmpeg"
  echo
  echo "Measured $(date -u '+%Y-%m-%d %H:%M') UTC on $cpu, $(nproc) cores, $(uname -sr); release build"
  echo "(gcc -O2, the release preset); files from kavlo-clipgen read from the page cache; best of $runs"
  echo "runs, each whole process timed (start-up included). Load average (1, 5, 15 min) before each"
  echo "run:$loads the machine was shared with other builds, so the numbers can be off by a margin."
  echo
  echo "- *compare*: \`kavlo-tool compare -w $w -h $h -l I420 a.yuv b.yuv\` against"
  echo "  \`ffmpeg -f rawvideo -pix_fmt yuv420p -s ${w}x$h -i a.yuv (same) -i b.yuv -lavfi psnr=stats_file=... -f null -\`,"
  echo "  $n frames (b holds the frames after a's: frames 1-$n of the clip, a frames 0-$((n - 1))). Largest"
  echo "  difference of a frame's average PSNR between the two (ffmpeg prints 2 decimals):"
  echo "  $worst dB. kavlo-tool's summary: \`$summary\`."
  echo "- *export*: \`kavlo-tool export -w $w -h $h -l I420 a.yuv --frames 0-$((exports - 1)) --out k/%04d.png\`"
  echo "  (zlib level 1, the tool's PNG level: ${kbytes} KiB) against \`ffmpeg ... -i a.yuv -frames:v $exports -f image2"
  echo "  f/%04d.png\` (its default PNG settings: ${fbytes} KiB). Both use every core."
  echo
  echo "Reproduce: \`bash bench/tool/run.sh\` (builds a release with scripts/build.sh first)."
  echo
  echo "| task | kavlo-tool | frames/s | ffmpeg | frames/s | speed-up |"
  echo "|---|---|---|---|---|---|"
  row "compare, $n frames" "$kc" "$fc" "$n"
  row "export to PNG, $exports frames" "$ke" "$fe" "$exports"
} >"$root/bench/RESULTS-tool.md"
cat "$root/bench/RESULTS-tool.md"
