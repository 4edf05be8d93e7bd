#!/usr/bin/env bash
# Checks that every ffmpeg pixel-format name the viewer accepts after -l (the alias table in
# viewer/settings/CommandLine.cpp, and the keywords that equal an ffmpeg name) stores its bytes the
# way the layout it selects does: kavlo-clipgen writes a frame in the layout, ffmpeg reads the
# file as that pixel format and converts it to rgb24 (gray for grey formats), and the result
# must match the clip generator's own picture (written as RGB3 or GRAY) closely. A misread
# byte order, plane order or bit position gives differences of tens of levels.
# Usage: scripts/check-ffmpeg-names.sh [build dir with bin/kavlo-clipgen]   (not a CTest: it
# needs ffmpeg on the machine)
set -euo pipefail
cd "$(dirname "$0")/.."
gen=${1:-build-test}/bin/kavlo-clipgen
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
w=256 h=64
known=$(ffmpeg -hide_banner -pix_fmts 2>/dev/null | awk 'NR > 8 && $1 ~ /^I/ {print $2}')
# Pairs "ffmpeg-name layout": the alias table, then keywords that are ffmpeg names too.
pairs=$(sed -n '/kAliases\[/,/^};/p' viewer/settings/CommandLine.cpp |
        sed -n 's/.*{"\([a-z0-9]*\)", kLayout\([A-Za-z0-9]*\),.*/\1 \2/p')
pairs+=$'\n'"bgra BGRA"$'\n'"argb ARGB"$'\n'"rgba RGBA"$'\n'"abgr ABGR"$'\n'"rgb0 RGB4"
pairs+=$'\n'"bgr0 BGR4"$'\n'"0rgb ARGB"$'\n'"0bgr ABGR"$'\n'"gray GRAY"$'\n'"nv12 NV12"
pairs+=$'\n'"nv21 NV21"$'\n'"nv16 NV16"$'\n'"nv24 NV24"$'\n'"nv42 NV42"$'\n'"v210 v210"
# Controls that must fail: swapped chroma, and the wrong byte order.
controls=$'nv21 NV12\nyuv420p10be I420LE10\nx2bgr10le X2R10G10B10'
bad=0
while read -r fmt layout control; do
    if ! grep -qx "$fmt" <<<"$known"; then
        echo "skip             $fmt: this ffmpeg cannot read it"
        continue
    fi
    out=rgb24
    [[ $fmt == gray* ]] && out=gray
    width=$w
    [[ $fmt == v210 ]] && width=240
    "$gen" -l "$layout" -w $width -h $h -o "$tmp/clip.raw" >/dev/null
    "$gen" -l "$([[ $out == gray ]] && echo GRAY || echo RGB3)" -w $width -h $h \
        -o "$tmp/ref.raw" >/dev/null
    ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt "$fmt" -s ${width}x$h -i "$tmp/clip.raw" \
        -f rawvideo -pix_fmt $out "$tmp/got.raw"
    result=$(python3 - "$tmp/ref.raw" "$tmp/got.raw" <<'PY'
import sys
a = open(sys.argv[1], "rb").read()
b = open(sys.argv[2], "rb").read()
if len(a) != len(b):
    print("size", len(a), len(b)); sys.exit()
d = [abs(x - y) for x, y in zip(a, b)]
print("%.2f" % (sum(d) / len(d)))
PY
)
    # Subsampled chroma differs at the colour bars' edges by the two programs' filters.
    limit=2
    [[ $fmt =~ 420|422|411|440|nv1|nv21|p01|p21|yuyv|uyvy|yvyu|y210|v210 ]] && limit=10
    verdict=ok
    if [[ $result == size* ]] || python3 -c "import sys; sys.exit(float('$result') < $limit)"; then
        verdict=MISMATCH
    fi
    if [[ -n ${control:-} ]]; then
        [[ $verdict == ok ]] && bad=1
        verdict="control:$verdict"
    elif [[ $verdict != ok ]]; then
        bad=1
    fi
    printf '%-16s %-12s -> %-12s mean |difference| %s (limit %s)\n' "$verdict" "$fmt" \
        "$layout" "$result" "$limit"
done < <(echo "$pairs"; sed 's/$/ control/' <<<"$controls")
exit $bad
