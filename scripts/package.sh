#!/usr/bin/env bash
# Builds a release (scripts/build.sh) and packs it as a Debian package; prints the package's path.
# `apt-get install ./kavlo_<version>_amd64.deb` installs Kavlo with everything it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(bash scripts/build.sh | tail -n 1)
build=$(dirname "$bin")
(cd "$build" && cpack -G DEB >&2)
ls -t "$build"/kavlo_*.deb | head -n 1
