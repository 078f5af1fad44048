#!/usr/bin/env bash
# Builds Orvalen when needed and starts it.
#   scripts/run.sh             on the computer's serial ports
#   scripts/run.sh --demo      against orvalen-printer-sim, a simulated printer that answers on COM3
# Other arguments go to orvalen. BUILD_DIR chooses the build folder (default: build/).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/sim-ready.sh"
build="${BUILD_DIR:-$root/build}"

demo=0
args=()
for arg in "$@"; do
  if [ "$arg" = "--demo" ]; then
    demo=1
  else
    args+=("$arg")
  fi
done

# Without a display Qt would abort at start; say what is missing instead.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: neither DISPLAY nor WAYLAND_DISPLAY is set. Run Orvalen in a desktop" \
       "session, under xvfb-run, or with QT_QPA_PLATFORM set (e.g. offscreen)." >&2
  exit 1
fi

"$root/scripts/deps.sh"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target orvalen orvalen-printer-sim

find_binary() {
  local found
  found="$(find "$build" -type f -name "$1" -perm -u+x -not -path '*/CMakeFiles/*' | head -n 1)"
  if [ -z "$found" ]; then
    echo "run.sh: $1 was not found in $build after the build" >&2
    exit 1
  fi
  echo "$found"
}
orvalen="$(find_binary orvalen)"

if [ "$demo" -eq 0 ]; then
  exec "$orvalen" "${args[@]}"
fi

sim="$(find_binary orvalen-printer-sim)"
demo_dir="$(mktemp -d "${TMPDIR:-/tmp}/orvalen-demo.XXXXXX")"
sim_pid=""
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then
    kill -TERM "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
  fi
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$demo_dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The program looks for COMn at $ORVALEN_COM_DIR/comn: the simulator sits on com3.
export ORVALEN_COM_DIR="$demo_dir"
log="$demo_dir/printer-sim.log"
# The printer's traffic shows in this terminal (and in the log, where the ready line is awaited).
"$sim" --link "$demo_dir/com3" > >(tee "$log" | sed -u 's/^/[printer] /') 2>&1 &
sim_pid=$!

ready=0
sim_wait_ready "$log" "$sim_pid" || ready=$?
if [ "$ready" = 1 ]; then
  cat "$log" >&2
  echo "run.sh: the printer simulator did not start" >&2
  exit 1
elif [ "$ready" != 0 ]; then
  echo "run.sh: the printer simulator did not get ready" >&2
  exit 1
fi
# Waited for in the background so that a signal to this script is handled at once (the trap
# then stops the program and the simulator), not only after the window has closed.
"$orvalen" "${args[@]}" &
app_pid=$!
status=0
wait "$app_pid" || status=$?
app_pid=""
exit "$status"
