#!/usr/bin/env bash
# Installs what is missing, builds Orvalen with its tests, and runs them.
#   scripts/test.sh            the whole suite
#   BUILD_DIR=... scripts/test.sh -R serial    extra arguments go to ctest
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

"$root/scripts/deps.sh"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"
cd "$build"
ctest --output-on-failure "$@"
