#!/usr/bin/env bash
# Checks a Kavlo .deb without installing it: every shared library its programs load comes from a
# package it declares (or from itself), and the program unpacked from it plays a clip.
#   check_deb.sh PACKAGE.deb CLIPGEN
set -euo pipefail
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1") clipgen=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/Kavlo usr/lib/kavlo/Kavlo usr/bin/kavlo-tool usr/lib/kavlo/kavlo-tool usr/lib/kavlo/libTarnCore.so usr/lib/kavlo/plugins/quern.dll \
         usr/share/applications/kavlo.desktop usr/share/mime/packages/kavlo.xml \
         usr/share/icons/hicolor/256x256/apps/kavlo.png; do
  [ -e "$root/$f" ] || fail "the package lacks /$f"
done
grep -qx 'Exec=/usr/bin/Kavlo %f' "$root/usr/share/applications/kavlo.desktop" || fail "desktop entry: Exec"
desktop-file-validate --no-hints "$root/usr/share/applications/kavlo.desktop" || fail "desktop entry is not valid"

# Declared dependencies, without versions; "a | b" alternatives each count.
depends=$(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed 's/(.*)//; s/ //g; s/:.*//' | sort -u)
missing=0
for elf in "$root/usr/lib/kavlo/Kavlo" "$root/usr/lib/kavlo/kavlo-tool" "$root/usr/lib/kavlo/libTarnCore.so" "$root/usr/lib/kavlo/plugins/quern.dll"; do
  # The libraries it names itself (NEEDED): those of its dependencies come with their packages.
  needed=$(readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  resolved=$(ldd "$elf")
  for name in $needed; do
    lib=$(sed -n "s|^[[:space:]]*$name => \(/[^ ]*\) .*|\1|p" <<<"$resolved" | head -n 1)
    [ -n "$lib" ] || { echo "${elf#$root} needs $name, which is not found" >&2; missing=1; continue; }
    case "$lib" in "$root"/*) continue ;; esac          # the package's own library
    owner=$(dpkg -S "$(readlink -f "$lib")" 2>/dev/null | head -n 1 | cut -d: -f1) ||
      owner=$(dpkg -S "$lib" 2>/dev/null | head -n 1 | cut -d: -f1) || true
    [ -n "$owner" ] || { echo "no package owns $lib (needed by ${elf#$root})" >&2; missing=1; continue; }
    grep -qx "$owner" <<<"$depends" || { echo "${elf#$root} needs $name from $owner, which the package does not declare" >&2; missing=1; }
  done
done
[ "$missing" -eq 0 ] || fail "undeclared dependencies"
grep -qx qt6-qpa-plugins <<<"$depends" || fail "Qt's window-system plug-ins are not declared"

# The unpacked program plays a clip (the plug-in found beside it, the core library by run path).
clip=$work/clip.uyvy
line=$("$clipgen" -l UYVY -w 320 -h 240 -n 10 -o "$clip" --print-args)
eval "settings=($line)"
out=$(QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work \
      timeout 60 "$root/usr/bin/Kavlo" -play "${settings[@]}" 2>&1) || fail "Kavlo -play: $out"
grep -q 'PlayThrough: 10 frames' <<<"$out" || fail "the unpacked Kavlo did not play the clip: $out"
# The unpacked command-line tool reads it too, through the link in bin.
out=$(timeout 60 "$root/usr/bin/kavlo-tool" info "${settings[@]}" 2>&1) || fail "kavlo-tool info: $out"
grep -qx 'frames: 10' <<<"$out" || fail "the unpacked kavlo-tool did not read the clip: $out"
echo "package ok: $(basename "$deb"), $(wc -l <<<"$depends") declared dependencies"
