#!/usr/bin/env bash
# orvalen.exe --version and --help under Wine print to the console the program was started from,
# with no display at all, and end with status 0; an unknown option is a usage error on stderr.
#   console.sh BUILD_DIR VERSION DLL_DIR... -- orvalen.exe
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$1" version="$2"
shift 2
dlls=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  dlls+=("$1")
  shift
done
shift
exe="$1"
. "$here/wine-prefix.sh"
wine_prefix_take "$build"
wine_path "${dlls[@]}"
unset DISPLAY WAYLAND_DISPLAY
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

# Runs the program with the arguments; its status, stdout and stderr go to $out.
run() {
  local status=0
  "$wine" "$exe" "$@" >"$out/stdout" 2>"$out/stderr" || status=$?
  tr -d '\r' <"$out/stdout" >"$out/out" && tr -d '\r' <"$out/stderr" >"$out/err"
  echo "$status" >"$out/status"
}
fail() {
  echo "console.sh: $*" >&2
  for f in out err; do echo "--- $f" >&2; cat "$out/$f" >&2; done
  exit 1
}

run --version
[ "$(cat "$out/status")" = 0 ] || fail "--version ended with status $(cat "$out/status")"
[ "$(cat "$out/out")" = "orvalen $version" ] || fail "--version printed no 'orvalen $version'"

run --help
[ "$(cat "$out/status")" = 0 ] || fail "--help ended with status $(cat "$out/status")"
head -1 "$out/out" | grep -q '^Usage: orvalen' || fail "--help printed no usage line"
grep -q -- '--traffic-log' "$out/out" || fail "--help does not name --traffic-log"

run --no-such-option
[ "$(cat "$out/status")" = 2 ] || fail "an unknown option ended with status $(cat "$out/status")"
grep -q 'no-such-option' "$out/err" || fail "an unknown option is not named on stderr"
echo "console.sh: passed"
