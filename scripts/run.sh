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

# Only what building and running need; the test toolchain comes with scripts/test.sh.
"$root/scripts/deps.sh" --run
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
fi
# Everything `cmake --install` puts in place, so that it works after this script.
cmake --build "$build" --target orvalen orvalen-printer-sim orvalenctl orvalen_docs

# The binaries where this build puts them: never a packaged or test copy elsewhere in the folder.
built_binary() {
  if [ ! -x "$build/$1" ]; then
    echo "run.sh: $build/$1 is missing after the build" >&2
    exit 1
  fi
  echo "$build/$1"
}
orvalen="$(built_binary src/app/orvalen)"

if [ "$demo" -eq 0 ]; then
  exec "$orvalen" "${args[@]}"
fi

sim="$(built_binary tools/printer-sim/orvalen-printer-sim)"
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
