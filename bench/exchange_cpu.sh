#!/bin/sh
# Processor share of one core during one unanswered exchange (about 32 s, real clock).
# Target: at most 1 %. Usage: bench/exchange_cpu.sh [build-dir]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target exchange_cpu >/dev/null
exec "$build/bench/exchange_cpu"
