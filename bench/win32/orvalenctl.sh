#!/usr/bin/env bash
# Figures of orvalenctl.exe under Wine, each beside the same figure of orvalenctl on Linux, on
# this machine in one run:
#   `--version`, process start to exit, median of 15 runs
#   `ports`, median of 15 runs
#   `status` on the remembered port against the simulated printer on the real clock, median of
#   5 runs, less one exchange (the 1 s poll tick that collects the reply and the 2 s settling
#   pause)
#   the installer and the zip beside the Debian package
# Usage: bench/win32/orvalenctl.sh [BUILD_WIN [BUILD]]   after scripts/windows.sh test; BUILD is
#        the Linux build (default build), whose orvalenctl, simulator and package it uses.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
win="$(cd "${1:-$root/build-win}" && pwd)"
linux="$(cd "${2:-$root/build}" && pwd)"
[ -f "$win/wine-lane.env" ] || { echo "orvalenctl.sh: no $win/wine-lane.env (scripts/windows.sh test)" >&2; exit 1; }
. "$win/wine-lane.env"
. "$root/tests/win32/wine-prefix.sh"
. "$root/scripts/sim-ready.sh"
. "$root/bench/median.sh"
# The whole Linux build: its package is measured too (a no-op after scripts/test.sh).
cmake --build "$linux" >/dev/null
ctl="$linux/src/ctl/orvalenctl" sim="$linux/tools/printer-sim/orvalen-printer-sim"
exe="$win/src/ctl/orvalenctl.exe"
[ -f "$exe" ] || { echo "orvalenctl.sh: no $exe" >&2; exit 1; }

wine_prefix_take "$win"
wine_path "${dlls[@]}"
work="$(mktemp -d "${TMPDIR:-/tmp}/orvalenctl-win-bench.XXXXXX")"
sim_pid=""
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT
# The prefix's server stays up between runs, as it does on a computer that runs Wine programs.
"$wineserver" -p >/dev/null 2>&1

row() { printf '%-34s %10s ms %10s ms   x%s\n' "$1" "$2" "$3" "$(awk -v a="$2" -v b="$3" 'BEGIN { printf "%.1f", b / a }')"; }

# The printer on COM3 for both: a folder of ports for Linux, the prefix's COM3 link for Wine;
# the journal and the remembered printer of each in a place of their own.
"$sim" --link "$work/com3" >"$work/sim.log" 2>&1 &
sim_pid=$!
sim_wait_ready "$work/sim.log" "$sim_pid" 10 || { cat "$work/sim.log" >&2; exit 1; }
ln -sfn "$(readlink -f "$work/com3")" "$com3"
export ORVALEN_COM_DIR="$work" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config"
"$wine" reg delete 'HKCU\Software\orvalen' /f >/dev/null 2>&1 || true
"$ctl" find >/dev/null
"$wine" "$exe" find >/dev/null 2>&1

printf '%-34s %13s %13s   %s\n' "" "Linux" "Wine" "ratio"
row "orvalenctl --version" "$(median_ms 15 "$ctl" --version)" "$(median_ms 15 "$wine" "$exe" --version)"
row "orvalenctl ports" "$(median_ms 15 "$ctl" ports)" "$(median_ms 15 "$wine" "$exe" ports)"
beyond() { awk -v t="$1" 'BEGIN { printf "%.1f", t - 3000 }'; }
row "status beyond one exchange" "$(beyond "$(median_ms 5 "$ctl" status)")" \
  "$(beyond "$(median_ms 5 "$wine" "$exe" status)")"

# The installer and the zip, beside the Debian package.
"$root/scripts/windows-package.sh" "$win" "$work/package" >/dev/null 2>&1
(cd "$linux" && cpack -G DEB -B "$work/deb" >/dev/null)
kib() { echo $(($(stat -c %s "$1") / 1024)); }
echo "Debian package:   $(kib "$(ls "$work"/deb/orvalen_*.deb)") KiB"
echo "Windows setup:    $(kib "$(ls "$work"/package/orvalen-*-setup.exe)") KiB"
echo "Windows zip:      $(kib "$(ls "$work"/package/orvalen-*-windows.zip)") KiB"
