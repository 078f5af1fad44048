#!/bin/sh
# Latency of received-byte events, processor share with unread bytes, and queued-write
# throughput of the serial port's threads on a pseudo-terminal (about 15 s).
# Usage: bench/serial_threads.sh [build-dir]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target serial_threads_bench >/dev/null
exec "$build/bench/serial_threads_bench"
