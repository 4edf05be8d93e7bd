#!/usr/bin/env bash
# Checks the direction of every quoted #include against the folder table of
# docs/ARCHITECTURE.md (the rows between the "include-direction" markers): a file may include
# headers of its own folder and of the folders its row names, nothing else. Headers of another
# folder are named by folder path ("view/file/VideoFile.h" from viewer/, "TNStr.h" from include/);
# a bare name is a header of the including file's own folder. Prints each wrong-way include and
# exits 1 when there is one.
# Also checks that no two classes use each other, directly or through others: a class is its
# header with its sources (a second source's name starts with the class's, as
# VideoBufferRender.cpp does), and a class uses another when one of its files includes the
# other's header. The plug-in's components (a source and its tracks know each other, as the
# interfaces they implement have them) and the conversion library (its private headers build on
# its public one) are left out of this part.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
table=docs/ARCHITECTURE.md

declare -A allowed
folders=()
while IFS='|' read -r _ folder uses _; do
  folder=$(echo "$folder" | tr -d ' `')
  uses=$(echo "$uses" | tr -d '`' | tr ',' ' ')
  [[ -z $folder || $folder == folder || $folder == ---* ]] && continue
  allowed[$folder]=" $folder $uses "
  folders+=("$folder")
done < <(sed -n '/<!-- include-direction -->/,/<!-- \/include-direction -->/p' "$table" | grep '^|')
if ((${#folders[@]} == 0)); then
  echo "no include-direction table in $table" >&2
  exit 2
fi

# The folder of a path: the longest folder of the table it lies in (in $folder_found).
folder_of() {
  local path=$1 f
  folder_found=
  for f in "${folders[@]}"; do
    if [[ $path == "$f"/* && ${#f} -gt ${#folder_found} ]]; then folder_found=$f; fi
  done
}

# Where a quoted include of a file in DIR lands, as a path of the tree (in $resolved; empty: not
# a header of the tree, such as a generated file).
resolve() {
  local dir=$1 name=$2 candidate
  resolved=
  for candidate in "$dir/$name" "viewer/$name" "include/$name" "tools/$name"; do
    if [[ -f $candidate ]]; then
      resolved=$candidate
      return
    fi
  done
}

bad=0
checked=0
uses=$(mktemp)
trap 'rm -f "$uses"' EXIT
# The class a file belongs to: its path without the extension.
unit_of() { unit_found=${1%.*}; }
while IFS= read -r file; do
  folder_of "$file"
  from=$folder_found
  [[ -z $from ]] && continue
  while IFS= read -r name; do
    resolve "$(dirname "$file")" "$name"
    [[ -z $resolved ]] && continue
    folder_of "$resolved"
    to=$folder_found
    [[ -z $to ]] && continue
    checked=$((checked + 1))
    if [[ ${allowed[$from]} != *" $to "* ]]; then
      echo "$file includes $name: $from may not use $to" >&2
      bad=1
    fi
    if [[ $from != plugins/quern && $from != viewer/image ]]; then
      unit_of "$file"
      a=$unit_found
      unit_of "$resolved"
      [[ $a != "$unit_found"* ]] && echo "$a $unit_found" >>"$uses"
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <( (git ls-files '*.cpp' '*.h' 2>/dev/null || find include core plugins viewer tools -name '*.cpp' -o -name '*.h') |
  grep -E '^(include|core|plugins|viewer|tools)/')
echo "$checked includes checked against ${#folders[@]} folders"
if ! loops=$(tsort "$uses" 2>&1 >/dev/null); then
  echo "classes that use each other:" >&2
  echo "$loops" | grep -v 'input contains a loop' | sed 's/^tsort: /  /' >&2
  bad=1
fi
exit $bad
