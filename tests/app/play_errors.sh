#!/usr/bin/env bash
# Kavlo -play on files it cannot show: each run must end at once, with a non-zero exit code and
# the file and the reason on standard error, and never wait on a window.
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
# A help request is no error: the usage on standard output, exit code 0.
if timeout 10 "$kavlo" -play -help >"$work/out" 2>"$work/err" && grep -q '^Usage: Kavlo' "$work/out"; then
  echo "ok help"
else
  echo "FAIL help"; cat "$work/out" "$work/err"; failed=1
fi
exit $failed
