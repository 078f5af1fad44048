# shellcheck shell=bash
# Sourced by the lane's scripts that drive a Windows program against the simulated printer (the
# Linux program) on the lane prefix's COM3.
#
# lane_start SCRIPT BUILD_DIR SIMULATOR DLL_DIR... -- PROGRAM.exe
#   Checks the simulator, takes the lane's prefix (wine-prefix.sh) and sets the DLL path; exe is
#   the program.
# frame SEQ PAYLOAD
#   The frame of sequence byte SEQ and payload PAYLOAD (hex bytes) as the printer logs it, from
#   STX to the check digits.
lane_here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$lane_here/wine-prefix.sh"
. "$lane_here/../../scripts/sim-ready.sh"

lane_start() {
  local script="$1" build="$2" sim="$3"
  shift 3
  [ -x "$sim" ] || { echo "$script: the simulator '$sim' is missing (the Linux build makes it)" >&2; exit 1; }
  wine_split "$@"
  exe="${command[0]}"
  wine_prefix_take "$build"
  wine_path "${dlls[@]}"
}

frame() {
  local bytes="02 $1 $2 03" sum=0 b digits out i
  for b in $bytes; do sum=$((sum + 16#$b)); done
  digits="$(printf '%04X' "$sum")"
  out="$bytes"
  for ((i = 0; i < ${#digits}; i++)); do out+=" $(printf '%02X' "'${digits:i:1}")"; done
  echo "$out"
}
