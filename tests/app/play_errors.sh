#!/usr/bin/env bash
# Kavlo -play on files it cannot show (or can no longer show): each run must end at once, with a
# non-zero exit code and the file and the reason on standard error, and never wait on a window.
#   play_errors.sh KAVLO
set -uo pipefail
kavlo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$work/config  # no recent entries
mkdir -p "$work/folder" && : >"$work/empty.raw" && head -c 4096 /dev/zero >"$work/nosettings.raw"
failed=0
# check NAME FILE REASON: runs Kavlo -play FILE and checks what it did.
check() {
  local start end status
  start=$(date +%s%N)
  timeout 10 "$kavlo" -play "$2" >"$work/out" 2>"$work/err"
  status=$?
  end=$(date +%s%N)
  local ms=$(((end - start) / 1000000))
  if [ "$status" -eq 0 ] || [ "$status" -eq 124 ]; then
    echo "FAIL $1: exit status $status"; failed=1
  elif [ "$ms" -gt 5000 ]; then
    echo "FAIL $1: took $ms ms"; failed=1
  elif ! grep -qF -- "$2" "$work/err" || ! grep -qF -- "$3" "$work/err"; then
    echo "FAIL $1: standard error lacks the file or \"$3\":"; sed 's/^/  /' "$work/err"; failed=1
  else
    echo "ok $1: status $status in $ms ms: $(grep -F -- "$2" "$work/err" | head -n 1)"
  fi
}
check missing "$work/nosuch.raw" "No such file"
check directory "$work/folder" "folder"
check empty "$work/empty.raw" "empty"
check no_settings "$work/nosettings.raw" "no settings"
# Errors before -play on the command line are reported the same way, never in a window.
check_args() {
  local name=$1 reason=$2 status
  shift 2
  timeout 20 "$kavlo" "$@" >"$work/out" 2>"$work/err"
  status=$?
  if [ "$status" -ne 1 ] || ! grep -qF -- "$reason" "$work/err"; then
    echo "FAIL $name: exit status $status, standard error:"; sed 's/^/  /' "$work/err"; failed=1
  else
    echo "ok $name: status $status: $(grep -F -- "$reason" "$work/err" | head -n 1)"
  fi
}
head -c $((64 * 48 * 300)) /dev/urandom >"$work/clip.raw"
gray=(-w 64 -h 48 -l GRAY)
check_args bad_rate_before_play "frames per second" -fps 0 -play "${gray[@]}" "$work/clip.raw"
check_args bad_layout_before_play "Unknown pixel layout" -l foo -play "$work/clip.raw"
# A YUV4MPEG2 stream whose fourth FRAME line is broken: three frames shown, then the reason.
{
  printf 'YUV4MPEG2 W8 H8 F25:1 C420jpeg\n'
  for k in 0 1 2 3 4 5; do
    if [ "$k" -eq 3 ]; then printf 'FRAMX\n'; else printf 'FRAME\n'; fi
    head -c 96 /dev/zero
  done
} >"$work/broken.y4m"
check_args broken_frame_line "stopped after 3 of 6 frames" -play "$work/broken.y4m"
check_args broken_frame_line_timed "stopped after 3 of 6 frames" -play -fps 50 "$work/broken.y4m"
# "/open" before -play: the stream plays without a window and ends.
check_args open_then_play "stopped after 3 of 6 frames" /open "$work/broken.y4m" -play
# The file cut, emptied, replaced by a short one or deleted while it plays at a rate: the play
# ends (it is not waited for), with the reason and exit status 1.
head -c $((64 * 48 * 2)) /dev/urandom >"$work/short.raw"
for change in cut empty replace delete; do
  cp "$work/clip.raw" "$work/playing.raw"
  (
    sleep 1.5
    case $change in
    cut) truncate -s 1000 "$work/playing.raw" ;;
    empty) truncate -s 0 "$work/playing.raw" ;;
    replace) cp "$work/short.raw" "$work/next.raw" && mv "$work/next.raw" "$work/playing.raw" ;;
    delete) rm "$work/playing.raw" ;;
    esac
  ) &
  check_args "file_${change}_while_playing" "play-through stopped after" \
    -play -fps 30 "${gray[@]}" "$work/playing.raw"
  wait
done
# A settings file that is a named pipe is not read (it would block): the play runs without it,
# says so once, and leaves the pipe as it was.
mkdir -p "$work/fifo/Brellin GmbH" && mkfifo "$work/fifo/Brellin GmbH/Kavlo.conf"
if XDG_CONFIG_HOME=$work/fifo timeout 20 "$kavlo" -play -cache 32 "${gray[@]}" "$work/short.raw" \
  >"$work/out" 2>"$work/err" && [ "$(grep -c 'not a regular file' "$work/err")" -eq 1 ] &&
  [ -p "$work/fifo/Brellin GmbH/Kavlo.conf" ]; then
  echo "ok settings_fifo"
else
  echo "FAIL settings_fifo:"; sed 's/^/  /' "$work/err"; failed=1
fi
# A file name that carries a terminal's escape sequence is printed with it escaped.
check_args escaped_name 'title\x1B]0;owned\x07.raw' -play "$work/title"$'\e]0;owned\a'.raw
if grep -q $'\e' "$work/err"; then echo "FAIL escaped_name: a raw escape byte"; failed=1; fi
# A help request is no error: the usage on standard output, exit code 0.
if timeout 10 "$kavlo" -play -help >"$work/out" 2>"$work/err" && grep -q '^Usage: Kavlo' "$work/out"; then
  echo "ok help"
else
  echo "FAIL help"; cat "$work/out" "$work/err"; failed=1
fi
exit $failed
