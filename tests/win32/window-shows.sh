#!/usr/bin/env bash
# Starts a Windows program under Wine on a private Xvfb display and waits until a window with the
# given title is visible; prints the seconds from start to window on stdout.
#   window-shows.sh BUILD_DIR TITLE DLL_DIR... -- PROGRAM.exe ARGS...
# Fails, never skips, when Xvfb, xdotool or Wine is missing, or no window shows within a minute.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$1" title="$2"
shift 2
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "window-shows.sh: $tool is missing (scripts/windows.sh deps installs it)" >&2; exit 1; }
done
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  here="$1" build="$2" title="$3"
  shift 3
  start=$(date +%s.%N)
  "$here/wine-run.sh" "$build" "$@" &
  runner=$!
  found=0
  xdotool search --sync --onlyvisible --name "^$title\$" >/dev/null &
  search=$!
  for _ in $(seq 600); do
    if ! kill -0 "$search" 2>/dev/null; then
      wait "$search" && found=1
      break
    fi
    kill -0 "$runner" 2>/dev/null || break
    sleep 0.1
  done
  end=$(date +%s.%N)
  kill "$search" 2>/dev/null || true
  WINEPREFIX="$build/wine-prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  wait "$runner" 2>/dev/null || true
  if [ "$found" != 1 ]; then
    echo "window-shows.sh: no visible window \"$title\" within a minute" >&2
    exit 1
  fi
  awk -v a="$start" -v b="$end" "BEGIN { printf \"%.2f\\n\", b - a }"
' window-shows "$here" "$build" "$title" "$@"
