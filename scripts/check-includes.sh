#!/usr/bin/env bash
# Checks the direction of every quoted #include against the folder table of
# docs/ARCHITECTURE.md (the rows between the "include-direction" markers): a file may include
# headers of its own folder and of the folders its row names, nothing else. Headers of another
# folder are named by folder path ("view/file/VideoFile.h" from viewer/, "TNStr.h" from include/);
# a bare name is a header of the including file's own folder. Prints each wrong-way include and
# exits 1 when there is one.
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
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <( (git ls-files '*.cpp' '*.h' 2>/dev/null || find include core plugins viewer tools -name '*.cpp' -o -name '*.h') |
  grep -E '^(include|core|plugins|viewer|tools)/')
echo "$checked includes checked against ${#folders[@]} folders"
exit $bad
