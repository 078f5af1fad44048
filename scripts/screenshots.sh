#!/usr/bin/env bash
# Pictures of the main window at each step of the procedure, at normal size and at double scale
# (QT_SCALE_FACTOR=2), in a real X window under Xvfb, against the simulated printer on COM3.
# Usage: scripts/screenshots.sh [build-dir] [output-dir]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/sim-ready.sh"
build="${1:-$root/build}"
out="${2:-/tmp/orvalen-shots}"
# The clock and the printer run this many times faster, so the search and waits take seconds.
speed=10

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target window_screenshots orvalen-printer-sim >/dev/null
shots="$build/tests/e2e/window_screenshots"
sim="$build/tools/printer-sim/orvalen-printer-sim"

devdir="$(mktemp -d "${TMPDIR:-/tmp}/orvalen-shots.XXXXXX")"
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$devdir"
}
trap cleanup EXIT

"$sim" --link "$devdir/com3" --time-scale "$speed" >"$devdir/sim.log" 2>&1 &
sim_pid=$!
sim_wait_ready "$devdir/sim.log" "$sim_pid" 5 || { cat "$devdir/sim.log" >&2; exit 1; }

for scale in 1 2; do
  mkdir -p "$out/${scale}x"
  ORVALEN_COM_DIR="$devdir" ORVALEN_TIME_SCALE="$speed" QT_SCALE_FACTOR="$scale" \
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$shots" "$out/${scale}x"
done
echo "printer traffic:"
sed 's/^/  /' "$devdir/sim.log"
