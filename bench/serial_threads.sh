#!/bin/sh
# Latency of received-byte events, processor share with unread bytes, and processor share of
# queued writes at 115200 baud, of the serial port's threads on a pseudo-terminal (about 20 s).
# Usage: bench/serial_threads.sh [build-dir]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target serial_threads_bench >/dev/null
exec "$build/bench/serial_threads_bench"
