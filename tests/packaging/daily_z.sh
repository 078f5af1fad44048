#!/usr/bin/env bash
# The daily service's command line, run as systemd reads it, with orvalenctl, sleep and busctl
# played by scripts that write down their calls.
#   daily_z.sh SERVICE_FILE
set -uo pipefail
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
command="$(sed -n '/^ExecStart=/,/[^\\]$/p' "$1" | sed 's/\\$//' | tr '\n' ' ')"
command="${command#ExecStart=}"
command="${command//\$\$/\$}"
mkdir "$work/bin"
# z exits with the next of $work/z (the last one over and over), clock with $CLOCK.
cat >"$work/bin/orvalenctl" <<'FAKE'
#!/bin/sh
echo "orvalenctl $*" >>calls
[ "$1" = clock ] && exit "$CLOCK"
set -- $(cat z)
status=$1 && shift
[ $# -gt 0 ] && echo "$*" >z
exit "$status"
FAKE
printf '#!/bin/sh\necho "sleep $*" >>calls\n' >"$work/bin/sleep"
printf '#!/bin/sh\necho "busctl $*" >>calls\n[ -n "$DESKTOP" ] && echo "b true"\n' >"$work/bin/busctl"
chmod +x "$work/bin/"*
failures=0
# check NAME Z_STATUSES CLOCK_STATUS DESKTOP EXIT EXPECTED_CALLS: runs the service once.
check() {
  (cd "$work" && : >calls && echo "$2" >z && PATH="$work/bin:$PATH" CLOCK="$3" DESKTOP="$4" \
    eval "$command" >/dev/null 2>&1)
  local status=$? calls
  calls="$(grep -v NameHasOwner "$work/calls" |
    sed 's/^busctl .* Notify .*Reporte Z NO impreso.*orvalenctl z --if-due.*/notified/')"
  [ "$status" = "$5" ] && [ "$calls" = "$6" ] || {
    echo "FAIL: $1: exit status $status (not $5), calls:"
    echo "$calls"
    failures=$((failures + 1))
  }
}
z='orvalenctl z --if-due'
check "printed at the third try" "3 1 0" 0 yes 0 "$z
sleep 900
$z
sleep 900
$z
orvalenctl clock"
check "printer off all night" 3 1 yes 3 "$(for i in 1 2 3 4 5 6 7 8; do echo "$z"; echo sleep 900; done)
$z
orvalenctl clock
notified"
check "usage error, no desktop" 2 0 "" 2 "$z
orvalenctl clock"
[ $failures -eq 0 ] && echo "daily service: retries, clock and notification as intended"
exit $((failures > 0))
