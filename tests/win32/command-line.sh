#!/usr/bin/env bash
# orvalen.exe answers --help, --version and a usage error on the console it was started from,
# without a display, and its help names the Windows ports.
#   command-line.sh BUILD_DIR DLL_DIR... -- orvalen.exe
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
run=("$here/wine-run.sh" "$@")
fail() { echo "command-line.sh: $*" >&2; exit 1; }

help="$(env -u DISPLAY "${run[@]}" --help)" || fail "--help ended with $?"
grep -qF 'COM1-COM20   \\.\COM1-\\.\COM20' <<<"$help" || fail "--help does not name \\\\.\\COMn: $help"
grep -qF 'dosdevices' <<<"$help" || fail "--help does not say what stands in for ORVALEN_COM_DIR"
! grep -qE 'dialout|/dev/tty' <<<"$help" || fail "--help gives Linux advice: $help"

version="$(env -u DISPLAY "${run[@]}" --version | tr -d '\r')"
[[ "$version" =~ ^orvalen\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version printed '$version'"

status=0
error="$(env -u DISPLAY "${run[@]}" --no-such-option 2>&1 >/dev/null)" || status=$?
[ "$status" = 2 ] || fail "a usage error ended with $status"
grep -qF "Try 'orvalen --help'" <<<"$error" || fail "a usage error printed '$error'"
