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

# File types: the entry handles every type the package defines, and the system's own type for
# "*.raw" (a camera's raw photo) as well, so that Kavlo is offered for such files without
# taking the default from a photo viewer. Merged with the system's types, no other type claims
# a name of Kavlo's types with more weight, so Kavlo (their only handler) opens them.
mime_types=$(sed -n 's/^MimeType=//p' "$root/usr/share/applications/kavlo.desktop" | tr ';' '\n')
for t in $(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$root/usr/share/mime/packages/kavlo.xml") \
         image/x-panasonic-rw; do
  grep -qx "$t" <<<"$mime_types" || fail "desktop entry does not list $t"
done
mimedb=$work/mime
mkdir -p "$mimedb/packages"
cp "$root/usr/share/mime/packages/kavlo.xml" "$mimedb/packages/"
[ -f /usr/share/mime/packages/freedesktop.org.xml ] && cp /usr/share/mime/packages/freedesktop.org.xml "$mimedb/packages/"
update-mime-database "$mimedb" >/dev/null 2>&1 || fail "update-mime-database rejects kavlo.xml"
for name in clip.yuv clip.nv12 clip.uyvy clip.y4m clip.gray clip.p010; do
  glob="*.${name#*.}"
  best=$(awk -F: -v g="$glob" '$3 == g { print $1 ":" $2 }' "$mimedb/globs2" | sort -t: -k1,1nr | head -n 1)
  case "$best" in *:video/x-raw-*|*:video/x-yuv4mpeg) ;; *) fail "$name is taken by ${best:-nothing}" ;; esac
done

# Declared dependencies, without versions; "a | b" alternatives each count.
depends=$(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed 's/(.*)//; s/ //g; s/:.*//' | sort -u)
missing=0
for elf in "$root/usr/lib/kavlo/Kavlo" "$root/usr/lib/kavlo/kavlo-tool" "$root/usr/lib/kavlo/libTarnCore.so" "$root/usr/lib/kavlo/plugins/quern.dll"; do
  # The libraries it names itself (NEEDED): those of its dependencies come with their packages.
  needed=$(readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  resolved=$(ldd "$elf")
  for name in $needed; do
    # The dynamic loader is libc6's, which every program's dependencies include.
    case "$name" in ld-linux*) grep -qx libc6 <<<"$depends" && continue ;; esac
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
