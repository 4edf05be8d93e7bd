#!/usr/bin/env bash
# Builds a release of Kavlo (with gcc, -O2) into build-release/; prints the binary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${KAVLO_RELEASE_BUILD:-build-release}
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j2 >&2
echo "$PWD/$build/bin"
