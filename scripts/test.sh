#!/usr/bin/env bash
# Installs what is missing, builds Orvalen with its tests, and runs them.
#   scripts/test.sh            the whole suite
#   BUILD_DIR=... scripts/test.sh -R serial    extra arguments go to ctest
#   ORVALEN_SKIP_TSAN=1 scripts/test.sh        without the ThreadSanitizer pass
#   ORVALEN_ASAN=1 scripts/test.sh             with the AddressSanitizer pass (always under CI)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

"$root/scripts/deps.sh"

# Qt for Windows takes longest to build, while the Linux suites mostly wait on timers and
# terminals: it builds meanwhile, at the lowest priority (after everything that needs apt, since
# the real-tty lane uses apt too), and the Wine lane at the end waits for it.
"$root/scripts/windows.sh" fetch
qt_log="$build-qt-win.log"
mkdir -p "$(dirname "$qt_log")"
setsid nice -n 19 "$root/scripts/windows.sh" qt >"$qt_log" 2>&1 &
qt_pid=$!
trap 'kill -TERM -- "-$qt_pid" 2>/dev/null || true' EXIT

# Tests on, also in a folder that scripts/run.sh configured without them.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
cmake --build "$build"

# The port's threads also run under ThreadSanitizer (a separate, smaller build). Skip with
# ORVALEN_SKIP_TSAN=1 for a quick local run.
if [ -z "${ORVALEN_SKIP_TSAN:-}" ]; then
  BUILD_DIR="$build-tsan" REPEAT="${TSAN_REPEAT:-3}" "$root/scripts/tsan.sh"
fi

(cd "$build" && ctest --output-on-failure "$@")

# Under CI the whole suite runs once more with AddressSanitizer and UndefinedBehaviorSanitizer
# (a separate build that takes a while, so local runs skip it unless asked).
if [ -n "${CI:-}" ] || [ -n "${ORVALEN_ASAN:-}" ]; then
  BUILD_DIR="$build-asan" "$root/scripts/asan.sh" "$@"
fi

# The Windows side: cross-built, run under Wine on a private Xvfb display, with this build's
# simulated printer on COM3. Its tools are installed when missing; it fails when they cannot be.
wait "$qt_pid" || { tail -30 "$qt_log" >&2; echo "test.sh: Qt for Windows did not build" >&2; exit 1; }
trap - EXIT
ORVALEN_PRINTER_SIM="$build/tools/printer-sim/orvalen-printer-sim" BUILD_DIR="$build-win" \
  "$root/scripts/windows.sh" test
