#!/usr/bin/env bash
# One check group's result from the lane's boot: its output, and success only if it passed.
set -u
work="$1" group="$2"
file="$work/results/$group"
if [ ! -f "$file" ]; then
  echo "realtty: no result for $group (the boot failed or never reached it; see $work/console.log)"
  exit 1
fi
cat "$file"
grep -q '^@@realtty end .* 0$' "$file"
