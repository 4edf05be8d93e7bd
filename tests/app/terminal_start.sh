#!/usr/bin/env bash
# Kavlo from a terminal: the usage and the version without a display, a start that can show no
# window refused with a message (never an abort), and the log's routine lines kept off standard
# error unless the stored debug level asks for them.
#   terminal_start.sh KAVLO
set -uo pipefail
kavlo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
failed=0
fail() { echo "FAIL $1"; sed 's/^/  out: /' "$work/out"; sed 's/^/  err: /' "$work/err"; failed=1; }
# headless NAME STATUS OUT_TEXT ERR_TEXT ARGS...: runs Kavlo with no display of any kind and
# checks its exit status and that each stream holds its text (an empty text: the stream is empty).
headless() {
  local name=$1 want=$2 out=$3 err=$4 status
  shift 4
  timeout 20 env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$kavlo" "$@" \
    >"$work/out" 2>"$work/err"
  status=$?
  if [ "$status" -ne "$want" ]; then fail "$name: exit status $status, not $want"; return; fi
  for stream in out err; do
    local text=$out
    [ "$stream" = err ] && text=$err
    if [ -z "$text" ]; then
      [ -s "$work/$stream" ] && { fail "$name: standard $stream is not empty"; return; }
    elif ! grep -qF -- "$text" "$work/$stream"; then
      fail "$name: standard $stream lacks \"$text\""; return
    fi
  done
  echo "ok $name"
}
headless help 0 "Usage: Kavlo [Settings] [Filename]" "" --help
headless help_lone_h 0 "GRAYBE16" "" -h
headless help_question 0 "Usage: Kavlo" "" -?
headless version 0 "Kavlo, Version 1.0" "" --version
headless no_display 1 "" "there is no display" 
headless no_display_file 1 "" "no display" -w 8 -h 8 -l GRAY "$work/none.raw"
headless no_display_error 1 "" "Error: 'abc' is not a number (-w abc)." -w abc x.yuv
headless no_display_layout 1 "" "Unknown pixel layout 'I42O' (nearest: I420, I422, V422)" \
  -l I42O x.yuv

# The log under -play: the play-through's line, none of the core's routine lines; all of them
# with a stored "Debug Level" of 3.
head -c $((8 * 8 * 3)) /dev/zero >"$work/clip.raw"
play() {
  QT_QPA_PLATFORM=offscreen timeout 20 "$kavlo" -play -w 8 -h 8 -l GRAY "$work/clip.raw" \
    >"$work/out" 2>"$work/err"
}
if play && grep -q 'PlayThrough: 3 frames' "$work/err" && ! grep -q 'Info: TNCore' "$work/err"; then
  echo "ok play_log_default"
else
  fail "play_log_default"
fi
mkdir -p "$work/config/Brellin GmbH"
printf '[General]\nDebug%%20Level=3\n' >"$work/config/Brellin GmbH/Kavlo.conf"
if play && grep -q 'PlayThrough: 3 frames' "$work/err" &&
  grep -q "Info: TNCore: initializing core library" "$work/err" &&
  grep -q "Info: TNCoreClose: closing core library" "$work/err"; then
  echo "ok play_log_level_3"
else
  fail "play_log_level_3"
fi
exit $failed
