#!/usr/bin/env bash
# Figures of orvalen.exe under Wine, against bare_label.exe (a bare Qt label window built with
# the same Qt), on a private Xvfb display:
#   start to a visible window, seven runs of each in turn: medians and their ratio (target <= 1.1)
#   the size of the program with the DLLs it loads, as built and stripped
# Usage: bench/win32/start.sh [BUILD_DIR]          after scripts/windows.sh test (build-win)
#        bench/win32/start.sh BUILD_DIR once NAME  one start of orvalen or bare_label on the
#                                                  current display, for a timer of whole runs
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$root/build-win}" && pwd)"
[ -f "$build/wine-lane.env" ] || { echo "start.sh: no $build/wine-lane.env (scripts/windows.sh test)" >&2; exit 1; }
. "$build/wine-lane.env"
. "$root/tests/win32/wine-prefix.sh"

title_of() { case "$1" in orvalen) echo 'Orvalen V1\.4' ;; bare_label) echo 'Orvalen bare label' ;; esac; }

# One start: prints the seconds from the start of Wine to the visible window.
once() {
  local exe="${!1}" title start end pid wid=""
  title="$(title_of "$1")"
  start=$(date +%s%N)
  # Its processes must not keep the prefix lock (descriptor 9) once this script has ended.
  "$wine" "$exe" >/dev/null 2>&1 9>&- &
  pid=$!
  for _ in $(seq 1200); do
    wid="$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1)" || true
    [ -z "$wid" ] || break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  end=$(date +%s%N)
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ -n "$wid" ] || { echo "start.sh: $1 showed no window" >&2; return 1; }
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f\n", ns / 1e9 }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The program's file and every DLL of the build's DLL folders that it loads, with the platform
# plugin beside it, one path a line.
files_of() {
  local todo=("$1" "$(dirname "$1")/platforms/qwindows.dll") seen=" " f dll d
  while [ ${#todo[@]} -gt 0 ]; do
    f="${todo[0]}"
    todo=("${todo[@]:1}")
    [[ "$seen" == *" $f "* ]] && continue
    seen+="$f "
    echo "$f"
    for dll in $(x86_64-w64-mingw32-objdump -p "$f" | awk '/DLL Name:/ { print $3 }'); do
      for d in "${dlls[@]}"; do
        [ -f "$d/$dll" ] && { todo+=("$d/$dll"); break; }
      done
    done
  done
}
sizes() {
  local stripped=0 built=0 f t
  t="$(mktemp)"
  for f in $(files_of "$1"); do
    built=$((built + $(stat -c %s "$f")))
    x86_64-w64-mingw32-strip -o "$t" "$f"
    stripped=$((stripped + $(stat -c %s "$t")))
  done
  rm -f "$t"
  awk -v name="$(basename "$1")" -v n=$(($(files_of "$1" | wc -l) - 1)) -v b="$built" \
    -v s="$stripped" 'BEGIN { printf "%s with %d DLLs: %.1f MB as built, %.1f MB stripped\n",
      name, n, b / 1048576, s / 1048576 }'
}

if [ "${2:-}" = once ]; then
  wine_prefix_take "$build"
  wine_path "${dlls[@]}"
  once "$3" >/dev/null
  exit
fi

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build"
fi
wine_prefix_take "$build"
wine_path "${dlls[@]}"
# One server for all runs, as on a desktop where Wine is already up; a first start warms it.
"$wineserver" -p >/dev/null 2>&1
trap '"$wineserver" -k 2>/dev/null || true' EXIT
once bare_label >/dev/null
ours=() bare=()
for _ in 1 2 3 4 5 6 7; do
  ours+=("$(once orvalen)")
  bare+=("$(once bare_label)")
done
a="$(printf '%s\n' "${ours[@]}" | median)" b="$(printf '%s\n' "${bare[@]}" | median)"
echo "start to visible window, median of 7: orvalen.exe $a s, bare_label.exe $b s;" \
  "ratio $(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", a / b }') (target <= 1.1)"
echo "  orvalen.exe:    ${ours[*]}"
echo "  bare_label.exe: ${bare[*]}"
sizes "$orvalen"
sizes "$bare_label"
