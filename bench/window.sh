#!/usr/bin/env bash
# Figures of the whole program, in a real X window under Xvfb (offscreen when Xvfb is missing):
#   start-up: process start to the first painted window, five runs    (target < 0.3 s)
#   a whole procedure on the real clock, with a silent device on COM1 and the simulated printer
#   on COM3 (about 45 s): processor share of one core                  (target < 2 %)
#   and peak resident memory                                           (target < 60 MB)
#   the same procedure with the traffic window open: processor share    (target < 2 %)
#   a flooding printer on COM3, the record full, for 20 s: processor share with the traffic
#   window closed and open                                  (target: open at most twice closed)
# Usage: bench/window.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/sim-ready.sh"
build="${1:-$root/build}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target window_bench orvalen-printer-sim >/dev/null
bench="$build/bench/window_bench"
sim="$build/tools/printer-sim/orvalen-printer-sim"

if command -v xvfb-run >/dev/null; then
  display() { QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; }
  echo "display: Xvfb (xcb)"
else
  display() { QT_QPA_PLATFORM=offscreen "$@"; }
  echo "display: offscreen"
fi

devdir="$(mktemp -d "${TMPDIR:-/tmp}/orvalen-bench.XXXXXX")"
# The window journals its Z reports and clock settings: the simulator's stay out of the user's.
export XDG_STATE_HOME="$devdir/state"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$devdir"
}
trap cleanup EXIT

echo "== start-up to the first paint"
# The clock is read in the shell right before the program is started.
display bash -c 'for i in 1 2 3 4 5; do ORVALEN_BENCH_T0_NS=$(date +%s%N) "$0" startup; done' \
  "$bench" 2>/dev/null

echo "== whole procedure, real clock, silent COM1, printer on COM3"
start_printer() {
  "$sim" --link "$devdir/$1" "${@:2}" >"$devdir/$1.log" 2>&1 &
  pids+=($!)
  sim_wait_ready "$devdir/$1.log" "$!" 5 || { cat "$devdir/$1.log" >&2; exit 1; }
}
start_printer com1 --silent
start_printer com3
ORVALEN_COM_DIR="$devdir" display "$bench" flow 2>/dev/null
echo "== the same with the traffic window open (target < 2 %)"
ORVALEN_COM_DIR="$devdir" display "$bench" flow-traffic 2>/dev/null

# The program reads once a second: a flood brings about 1 KB a read, 4 KB at --time-scale 4.
for scale in 1 4; do
  name="flood$scale"
  start_printer "$name" --flood --time-scale "$scale"
  flood_dir="$devdir/$name-com"
  mkdir -p "$flood_dir"
  ln -s "$(readlink "$devdir/$name")" "$flood_dir/com3"
  echo "== flooding printer (--time-scale $scale) on COM3, record full, traffic window closed"
  ORVALEN_COM_DIR="$flood_dir" display "$bench" flood 2>/dev/null
  echo "== the same with the traffic window open (target: at most twice the above)"
  ORVALEN_COM_DIR="$flood_dir" display "$bench" flood-traffic 2>/dev/null
done
