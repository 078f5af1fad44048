#!/usr/bin/env bash
# systemd-analyze verify on the daily timer's user units; any message is a failure.
#   systemd_verify.sh SYSTEMD_ANALYZE PACKAGING_DIR
set -uo pipefail
analyze="$1"
packaging="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A user manager needs a runtime folder; the man page goes where man looks under MANPATH.
mkdir -m 700 "$work/run"
mkdir -p "$work/man/man1"
cp "$packaging/man/orvalenctl.1" "$work/man/man1/"
cp "$packaging/systemd/orvalen-daily-z.service" "$packaging/systemd/orvalen-daily-z.timer" "$work/"
output="$(cd "$work" && XDG_RUNTIME_DIR="$work/run" MANPATH="$work/man" \
  "$analyze" verify --user ./orvalen-daily-z.service ./orvalen-daily-z.timer 2>&1)"
rc=$?
if [ $rc -ne 0 ] || [ -n "$output" ]; then
  echo "FAIL: systemd-analyze verify (rc $rc):"
  echo "$output"
  exit 1
fi
echo "systemd units: verify clean"
