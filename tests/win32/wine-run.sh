#!/usr/bin/env bash
# Runs a Windows program under Wine for the tests:
#   wine-run.sh BUILD_DIR DLL_DIR... -- PROGRAM.exe ARGS...
# The Wine prefix lives in BUILD_DIR/wine-prefix. COM3 and COM4 are the two ends of a fresh
# pseudo-terminal pair (socat), so a test can write on one port and read on the other; no other
# COM port exists. The DLL folders go on WINEPATH. Runs one at a time (the ports are the
# prefix's). Fails, never skips, when Wine or socat is missing.
set -euo pipefail
build="$1"
shift
. "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
wine_split "$@"
for tool in "$wine" /usr/bin/socat; do
  [ -x "$tool" ] || { echo "wine-run.sh: $tool is missing (scripts/windows.sh deps installs it)" >&2; exit 1; }
done

export WINEPREFIX="$build/wine-prefix" WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
wine_path "${dlls[@]}"

mkdir -p "$build"
exec 9>"$build/wine-prefix.lock"
flock 9
if [ ! -f "$WINEPREFIX/.ready" ]; then
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
  touch "$WINEPREFIX/.ready"
fi

ports="$(mktemp -d)"
socat_pid=""
cleanup() {
  kill "$socat_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$ports"
}
trap cleanup EXIT
socat pty,raw,echo=0,link="$ports/com3" pty,raw,echo=0,link="$ports/com4" &
socat_pid=$!
for _ in $(seq 100); do
  [ -e "$ports/com3" ] && [ -e "$ports/com4" ] && break
  sleep 0.1
done
[ -e "$ports/com3" ] || { echo "wine-run.sh: socat made no pseudo-terminals" >&2; exit 1; }
rm -f "$WINEPREFIX"/dosdevices/com*
ln -s "$(readlink -f "$ports/com3")" "$WINEPREFIX/dosdevices/com3"
ln -s "$(readlink -f "$ports/com4")" "$WINEPREFIX/dosdevices/com4"
# The program pulls the "adapter" out (ends the pair) by creating the file ORVALEN_WINE_UNPLUG.
unplug="$ports/unplug"
export ORVALEN_WINE_UNPLUG="Z:${unplug//\//\\}"
(while kill -0 "$socat_pid" 2>/dev/null; do
  [ -e "$unplug" ] && kill "$socat_pid"
  sleep 0.1
done) &
# The server of this prefix, started here so that its output stays out of the test's: when the
# pair ends, the hang-up makes it dump its objects on stderr.
"$wineserver" -p2 >/dev/null 2>&1
status=0
"$wine" "${command[@]}" || status=$?
"$wineserver" -w || true
exit "$status"
