# shellcheck shell=bash
# Sourced by the benches that time whole processes.
#
# median_ms N COMMAND...
#   Prints the median wall time in milliseconds of COMMAND run N times (after one run that warms
#   the page cache), its output thrown away.
median_ms() {
  local runs="$1" times=() i start end
  shift
  "$@" >/dev/null 2>&1 || true
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { printf "%.1f", t[int((NR + 1) / 2)] / 1000 }'
}
