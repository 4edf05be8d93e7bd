#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy: bugprone-*, braces, indentation) over C++ sources with the
# compile commands of a build tree (default build-test, made by `cmake --preset test`).
#   scripts/tidy.sh                 the files changed since origin/main (or the last commit)
#   scripts/tidy.sh --all           every C++ source file of the tree (about 4 minutes on 2 cores)
#   scripts/tidy.sh FILE...         the files named
# Needs the clang-tidy package (apt-get install clang-tidy).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${KAVLO_TIDY_BUILD:-build-test}
if ! command -v clang-tidy >/dev/null; then
  echo "clang-tidy is not installed: apt-get install clang-tidy" >&2
  exit 2
fi
if [[ ! -f $build/compile_commands.json ]]; then
  echo "no $build/compile_commands.json: configure with cmake --preset test first" >&2
  exit 2
fi
if [[ ${1:-} == --all ]]; then
  mapfile -t files < <(git ls-files '*.cpp' | grep -E '^(core|plugins|viewer|tools|tests)/')
elif (($# > 0)); then
  files=("$@")
else
  base=$(git merge-base HEAD origin/main 2>/dev/null || git rev-parse HEAD~1)
  mapfile -t files < <(git diff --name-only "$base" -- '*.cpp' | grep -E '^(core|plugins|viewer|tools|tests)/' || true)
fi
if ((${#files[@]} == 0)); then
  echo "no C++ sources to check"
  exit 0
fi
jobs=$(nproc)
# Only the findings: the compiler's count of the warnings it left out is noise here.
printf '%s\n' "${files[@]}" | xargs -P "$jobs" -n 4 clang-tidy -p "$build" --quiet 2>&1 |
  { grep -v '^[0-9]* warnings\? generated\.$' || true; }
echo "clang-tidy: ${#files[@]} files clean"
