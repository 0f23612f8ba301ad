#!/usr/bin/env bash
# Builds the Debian package halvik_<version>_<arch>.deb in a build folder
# (default: build, configured here when it is not yet) and prints its path.
# Only the programs and the files the package holds are built, not the tests.
# Install it with: sudo apt install ./build/halvik_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
halvik_install_deps package

build=${1:-build}
if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target package-files
rm -f "$build"/halvik_*.deb
(cd "$build" && cpack --config CPackConfig.cmake >cpack.log) || {
    cat "$build/cpack.log" >&2
    exit 1
}
ls "$build"/halvik_*.deb
