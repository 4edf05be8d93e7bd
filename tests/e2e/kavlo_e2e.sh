#!/usr/bin/env bash
# Installs Kavlo from the build tree into a temporary prefix, starts it in its own Xvfb on a
# generated clip, drives it with real key events and checks the screen after every step.
#   kavlo_e2e.sh BUILD_DIR CHECK_TOOL CLIPGEN
set -euo pipefail
build=$1 check=$2 clipgen=$3
# Leaks inside system libraries (D-Bus, fontconfig) are not ours; the project's list covers them.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(cd "$(dirname "$0")/.." && pwd)/lsan.supp:print_suppressions=0}

work=$(mktemp -d)
xvfb_pid="" kavlo_pid=""
cleanup() {
  [ -n "$kavlo_pid" ] && kill "$kavlo_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$work/kavlo.log" ] && sed 's/^/  kavlo: /' "$work/kavlo.log" >&2; exit 1; }

# --- Install into a temporary prefix and check the tree ------------------------------------
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install"; }
for f in bin/Kavlo lib/kavlo/Kavlo lib/kavlo/libTarnCore.so lib/kavlo/plugins/quern.dll \
         lib/kavlo/license.html share/applications/kavlo.desktop share/mime/packages/kavlo.xml \
         share/icons/hicolor/256x256/apps/kavlo.png; do
  [ -e "$prefix/$f" ] || fail "installed tree lacks $f"
done
[ "$(readlink -f "$prefix/bin/Kavlo")" = "$(readlink -f "$prefix/lib/kavlo/Kavlo")" ] || fail "bin/Kavlo does not lead to the program"
# The desktop entry starts the program under this prefix, with the file as its only argument.
entry=$prefix/share/applications/kavlo.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[ "$exec_line" = "$prefix/bin/Kavlo %f" ] || fail "desktop entry: Exec=$exec_line"
for f in lib/kavlo/Kavlo lib/kavlo/plugins/quern.dll; do
  readelf -d "$prefix/$f" | grep -E 'R(UN)?PATH' | grep -q 'ORIGIN' || fail "$f has no relative run path"
done

# --- Clip: YV24 keeps full chroma, so colours come back within rounding -------------------------
layout=YV24 w=96 h=64
"$clipgen" -l $layout -w $w -h $h -n 6 -o "$work/clip.yv24" >/dev/null

# --- X server -------------------------------------------------------------------------------
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$work/display")"
export QT_QPA_PLATFORM=xcb
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

"$prefix/bin/Kavlo" -w $w -h $h -l $layout "$work/clip.yv24" >"$work/kavlo.log" 2>&1 &
kavlo_pid=$!
wid=$(timeout 30 xdotool search --sync --onlyvisible --name 'clip\.yv24' | head -n 1) || true
[ -n "$wid" ] || fail "Kavlo's window did not appear"
timeout 10 xdotool windowfocus --sync "$wid" || true

shot() { xwd -root -silent >"$work/shot.xwd" && convert "$work/shot.xwd" "$work/shot.ppm"; }
# expect FRAME MODE ZOOM: waits (at most 15 s) until the screen shows that picture.
expect() {
  local deadline=$((SECONDS + 15)) out
  while :; do
    shot
    if out=$("$check" "$work/shot.ppm" $layout $w $h "$1" "$2" "$3"); then
      echo "frame $1, $2, zoom $3: $out"
      return 0
    fi
    [ $SECONDS -ge $deadline ] && { cp "$work/shot.ppm" "${E2E_KEEP_SHOT:-/dev/null}" 2>/dev/null || true; fail "screen does not show frame $1 ($2, zoom $3)"; }
    sleep 0.3
  done
}
key() { xdotool key --clearmodifiers "$@"; }

expect 0 normal 1
# Step to frame 3 through the frame field: Ctrl+G, the number, Enter.
key ctrl+g; xdotool type --delay 50 3; key Return
expect 3 normal 1
key equal                     # zoom in
expect 3 normal 2
key minus                     # back to 100%
expect 3 normal 1
key f                         # split fields
expect 3 split 1
key f
expect 3 normal 1
key 7                         # Y' only
expect 3 luma 1
key 0                         # all components again
expect 3 normal 1
key d                         # deinterlace, blending the fields (the stored method)
expect 3 blend 1
key shift+1                   # Shift+1: the top-field method, recognised by the physical key
expect 3 topfield 1
key shift+3                   # Shift+3: blend again
expect 3 blend 1
key d
expect 3 normal 1
# And on to frame 5.
key ctrl+g; xdotool type --delay 50 5; key Return
expect 5 normal 1
# Playback: loop on (O), play (P), pause (K); then Home and steps with Right and Left.
key o p; sleep 1; key k
key Home
expect 0 normal 1
key Right
expect 1 normal 1
key Right
expect 2 normal 1
key Left
expect 1 normal 1
# Loop off: playing runs into the last frame and stops there; Left steps back from it.
key o p
expect 5 normal 1
key Left
expect 4 normal 1

# Compare with a reference: the same clip without its first frame, so that B's frame n is A's
# frame n + 1. File > Open Reference (Ctrl+Shift+O), the settings dialog's guess from the name
# (size and layout), then A shows B's picture at once and A again.
tail -c +$((w * h * 3 + 1)) "$work/clip.yv24" >"$work/ref_${w}x${h}_yv24.yuv"
key ctrl+shift+o
dlg=$(timeout 30 xdotool search --sync --onlyvisible --name '^Open Reference' | head -n 1) || true
[ -n "$dlg" ] || fail "Ctrl+Shift+O did not ask for the reference"
timeout 10 xdotool windowfocus --sync "$dlg" || true
xdotool type --delay 20 "$work/ref_${w}x${h}_yv24.yuv"; key Return
dlg=$(timeout 30 xdotool search --sync --onlyvisible --name '^RAW Video Settings' | head -n 1) || true
[ -n "$dlg" ] || fail "no settings dialog for the reference"
timeout 10 xdotool windowfocus --sync "$dlg" || true
key Return
timeout 10 xdotool windowfocus --sync "$wid" || true
expect 4 normal 1             # A still shown
key a                         # B: its frame 4 is the clip's frame 5
expect 5 normal 1
key a                         # A again
expect 4 normal 1

# Exit through the menu: Alt+F opens File, E is Exit. Kavlo must end cleanly (sanitizers included).
key alt+f; sleep 0.3; key e
for _ in $(seq 150); do kill -0 "$kavlo_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$kavlo_pid" 2>/dev/null; then fail "Kavlo did not end after File > Exit"; fi
status=0; wait "$kavlo_pid" || status=$?
kavlo_pid=""
[ "$status" -eq 0 ] || fail "Kavlo ended with status $status"

# The desktop entry's command started from the menu, without a file (%f expands to nothing): the
# main window, no error window.
${exec_line% %f} >"$work/kavlo.log" 2>&1 &
kavlo_pid=$!
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Kavlo$' | head -n 1) || true
[ -n "$wid" ] || fail "the desktop entry without a file did not show the main window"
kill -0 "$kavlo_pid" 2>/dev/null || fail "Kavlo ended"
kill "$kavlo_pid"; wait "$kavlo_pid" 2>/dev/null || true
kavlo_pid=""

# stop: ends the running Kavlo.
stop() { kill "$kavlo_pid" 2>/dev/null || true; wait "$kavlo_pid" 2>/dev/null || true; kavlo_pid=""; }

# The desktop entry's command with a file: the clip opened above has settings stored with it, so
# it opens with them and no dialog asks.
${exec_line% %f} "$work/clip.yv24" >"$work/kavlo.log" 2>&1 &
kavlo_pid=$!
wid=$(timeout 30 xdotool search --sync --onlyvisible --name 'clip\.yv24' | head -n 1) || true
[ -n "$wid" ] || fail "the desktop entry with a known file did not open it"
expect 0 normal 1
stop

# The same file by a relative name from another working folder: the stored entry holds the
# absolute name, so it is found, and a namesake in the other folder is not taken for it.
mkdir -p "$work/elsewhere"
head -c 100 /dev/zero >"$work/elsewhere/clip.yv24"
(cd "$work/elsewhere" && exec "$prefix/bin/Kavlo" ../clip.yv24) >"$work/kavlo.log" 2>&1 &
kavlo_pid=$!
wid=$(timeout 30 xdotool search --sync --onlyvisible --name 'clip\.yv24' | head -n 1) || true
[ -n "$wid" ] || fail "the known file by a relative name from another folder did not open"
expect 0 normal 1
stop

# A file without stored settings: the settings dialog asks for them.
cp "$work/clip.yv24" "$work/fresh.yv24"
${exec_line% %f} "$work/fresh.yv24" >"$work/kavlo.log" 2>&1 &
kavlo_pid=$!
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^RAW Video Settings' | head -n 1) || true
[ -n "$wid" ] || fail "the desktop entry with a new file did not show the settings dialog"
kill -0 "$kavlo_pid" 2>/dev/null || fail "Kavlo ended"
stop

# expect_luma LAYOUT W H ZOOM: the Y' of frame 0 of a generated clip of that geometry is on the
# screen (Y' alone compares exactly whatever the chroma subsampling).
expect_luma() {
  local deadline=$((SECONDS + 30)) out
  while :; do
    shot
    if out=$("$check" "$work/shot.ppm" "$1" "$2" "$3" 0 luma "$4"); then
      echo "$1 $2x$3, Y' only, zoom $4: $out"
      return 0
    fi
    [ $SECONDS -ge $deadline ] && fail "screen does not show the Y' of a $2x$3 $1 frame at zoom $4"
    sleep 0.5
  done
}
# open_guessed FILE TITLE: Kavlo started on FILE alone shows the settings dialog; OK takes its
# guess and the main window opens the file.
open_guessed() {
  "$prefix/bin/Kavlo" "$1" >"$work/kavlo.log" 2>&1 &
  kavlo_pid=$!
  wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^RAW Video Settings' | head -n 1) || true
  [ -n "$wid" ] || fail "no settings dialog for $(basename "$1")"
  timeout 10 xdotool windowfocus --sync "$wid" || true
  key Return
  wid=$(timeout 30 xdotool search --sync --onlyvisible --name "$2" | head -n 1) || true
  [ -n "$wid" ] || fail "$(basename "$1") did not open with the dialog's guess: $(cat "$work/kavlo.log")"
  timeout 10 xdotool windowfocus --sync "$wid" || true
}

# --- Analysis: source values drawn on zoomed pixels, Save Frame As and Copy -----------------
# An 8x8 GRAY frame of value 57 everywhere: at zoom 32 the values (white on the dark grey) cover
# part of its 256x256 pixels on screen, at zoom 8 none of its 64x64.
head -c 64 /dev/zero | tr '\0' '\071' >"$work/flat.gray"
"$prefix/bin/Kavlo" -w 8 -h 8 -l GRAY "$work/flat.gray" >"$work/kavlo.log" 2>&1 &
kavlo_pid=$!
wid=$(timeout 30 xdotool search --sync --onlyvisible --name 'flat\.gray' | head -n 1) || true
[ -n "$wid" ] || fail "Kavlo did not open flat.gray"
xdotool windowsize --sync "$wid" 900 700 || true
timeout 10 xdotool windowfocus --sync "$wid" || true
# flat_pixels: how many screen pixels show the frame's grey.
flat_pixels() {
  shot
  convert "$work/shot.ppm" -fill black +opaque 'rgb(57,57,57)' -fill white -opaque 'rgb(57,57,57)' \
    -format '%[fx:round(mean*w*h)]' info:
}
# wait_flat TEST WHAT: waits (at most 15 s) until the count of grey pixels passes the test.
wait_flat() {
  local deadline=$((SECONDS + 15)) n
  while :; do
    n=$(flat_pixels)
    if [ "$n" $1 ]; then echo "$2: $n pixels of the frame's grey"; return 0; fi
    [ $SECONDS -ge $deadline ] && fail "$2: $n pixels of the frame's grey"
    sleep 0.3
  done
}
key equal equal equal         # zoom 8: the picture alone
wait_flat "-ge 4096" "zoom 8 draws no values"  # all 64x64 screen pixels keep the grey
key equal equal               # zoom 32: values on every pixel
wait_flat "-lt 65000" "zoom 32 draws the values"
n=$(flat_pixels)
[ "$n" -gt 40000 ] || fail "zoom 32: only $n pixels of the picture left uncovered"
expected=$(head -c 192 /dev/zero | tr '\0' '\071' | od -An -tx1 | tr -d ' \n')
# Save Frame As (Ctrl+S): the file holds the frame at full resolution, not the zoomed view.
key ctrl+s
dlg=$(timeout 30 xdotool search --sync --onlyvisible --name '^Save Frame As' | head -n 1) || true
[ -n "$dlg" ] || fail "Ctrl+S did not ask for a file name"
timeout 10 xdotool windowfocus --sync "$dlg" || true
key ctrl+a; xdotool type --delay 20 "$work/saved.png"; key Return
for _ in $(seq 100); do [ -s "$work/saved.png" ] && break; sleep 0.1; done
[ -s "$work/saved.png" ] || fail "Save Frame As wrote no file"
[ "$(convert "$work/saved.png" -depth 8 rgb:- | od -An -tx1 | tr -d ' \n')" = "$expected" ] \
  || fail "the saved frame is not the 8x8 picture"
echo "Save Frame As: 8x8 PNG of the frame"
# Copy (Ctrl+C): the clipboard holds the same picture.
timeout 10 xdotool windowfocus --sync "$wid" || true
key ctrl+c
ok=""
for _ in $(seq 50); do
  if timeout 5 xclip -selection clipboard -t image/png -o >"$work/copied.png" 2>/dev/null &&
     [ "$(convert "$work/copied.png" -depth 8 rgb:- | od -An -tx1 | tr -d ' \n')" = "$expected" ]; then
    ok=1; break
  fi
  sleep 0.2
done
[ -n "$ok" ] || fail "the clipboard does not hold the frame after Copy"
echo "Copy: the clipboard holds the frame"
stop

# File > Open (Ctrl+O) of a valid 6,144-byte 64x48 GRAY clip reaches the settings dialog, however
# little the file is.
"$clipgen" -l GRAY -w 64 -h 48 -n 2 -o "$work/small.gray" >/dev/null
"$prefix/bin/Kavlo" >"$work/kavlo.log" 2>&1 &
kavlo_pid=$!
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Kavlo$' | head -n 1) || true
[ -n "$wid" ] || fail "Kavlo without a file did not show the main window"
timeout 10 xdotool windowfocus --sync "$wid" || true
key ctrl+o
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Open$' | head -n 1) || true
[ -n "$wid" ] || fail "File > Open did not show the file dialog"
timeout 10 xdotool windowfocus --sync "$wid" || true
xdotool type --delay 20 "$work/small.gray"; key Return
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^RAW Video Settings \(.*small\.gray\)' | head -n 1) || true
[ -n "$wid" ] || fail "File > Open of a 6,144-byte clip did not reach the settings dialog"
stop

# Kavlo FILE on five 1080p I420 frames (15,552,000 bytes, also 25 PAL frames by size alone): the
# dialog proposes 1920x1080 I420; shown at 1/2, Y' only.
"$clipgen" -l I420 -w 1920 -h 1080 -n 5 -o "$work/five.yuv" >/dev/null
open_guessed "$work/five.yuv" 'five\.yuv \(I420\)'
# Larger than the screen: it opens fitted to the window; Ctrl+0 is 100% again.
key ctrl+0 minus 7
expect_luma I420 1920 1080 1/2
stop
rm -f "$work/five.yuv"

# A 7680x4320 file opened through the dialog, shown at 1/8.
"$clipgen" -l I420 -w 7680 -h 4320 -n 1 -o "$work/eight.yuv" >/dev/null
open_guessed "$work/eight.yuv" 'eight\.yuv \(I420\)'
key ctrl+0 minus minus minus 7
expect_luma I420 7680 4320 1/8
stop
rm -f "$work/eight.yuv"
echo "PASS"
