#!/usr/bin/env bash
# The daily service's command line, run as systemd runs it, with orvalenctl, sleep and busctl
# played by scripts that write down how they were called.
#   daily_z.sh SERVICE_FILE
set -uo pipefail
unit="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# ExecStart= with its continuation lines joined and "$$" read as systemd reads it.
command="$(sed -n '/^ExecStart=/,/[^\\]$/p' "$unit" | sed 's/\\$//' | tr '\n' ' ')"
command="${command#ExecStart=}"
command="${command//\$\$/\$}"

mkdir "$work/bin"
# orvalenctl z exits with the next status of $Z_STATUSES (the last one over and over).
cat >"$work/bin/orvalenctl" <<'FAKE'
#!/bin/sh
echo "orvalenctl $*" >>"$CALLS"
if [ "$1" = clock ]; then exit "$CLOCK_STATUS"; fi
set -- $(cat "$STATUSES")
status=$1
[ $# -gt 1 ] && shift
echo "$*" >"$STATUSES"
exit "$status"
FAKE
printf '#!/bin/sh\necho "sleep $*" >>"$CALLS"\n' >"$work/bin/sleep"
cat >"$work/bin/busctl" <<'FAKE'
#!/bin/sh
echo "busctl $*" >>"$CALLS"
[ -n "$DESKTOP" ] || { echo "Failed to connect to bus: No such file or directory" >&2; exit 1; }
case "$*" in *NameHasOwner*) echo "b $DESKTOP" ;; *) echo "u 7" ;; esac
FAKE
chmod +x "$work/bin/"*

# run NAME Z_STATUSES CLOCK_STATUS DESKTOP EXPECTED_EXIT: runs the service once.
run() {
  : >"$work/calls"
  echo "$2" >"$work/statuses"
  (cd "$work" && PATH="$work/bin:$PATH" CALLS="$work/calls" STATUSES="$work/statuses" \
    CLOCK_STATUS="$3" DESKTOP="$4" eval "$command" >"$work/out" 2>&1)
  local status=$?
  [ "$status" = "$5" ] || fail "$1: exit status $status, not $5: $(cat "$work/out")"
}
count() { grep -c "$1" "$work/calls"; }

run "third try prints the Z" "3 1 0" 0 true 0
[ "$(count '^orvalenctl z --if-due')" = 3 ] || fail "Z tried $(count '^orvalenctl z') times, not 3"
[ "$(count 'sleep 900')" = 2 ] || fail "not 15 minutes between tries: $(cat "$work/calls")"
[ "$(tail -1 "$work/calls")" = "orvalenctl clock" ] || fail "clock not set after the Z"
grep -q busctl "$work/calls" && fail "a Z that was printed raised a notification"

run "printer off all night" "3" 1 true 3
[ "$(count '^orvalenctl z --if-due')" = 9 ] ||
  fail "printer off: Z tried $(count '^orvalenctl z') times, not 9"
[ "$(count 'orvalenctl clock')" = 1 ] || fail "printer off: clock set $(count 'orvalenctl clock') times"
notify="$(grep Notify "$work/calls")"
grep -q 'Reporte Z NO impreso' <<<"$notify" || fail "no notification: $(cat "$work/calls")"
grep -q 'ejecute: orvalenctl z --if-due' <<<"$notify" || fail "the notification lacks the command"

run "usage error" "2" 0 true 2
[ "$(count '^orvalenctl z')" = 1 ] || fail "a usage error was tried again"
run "another printer" "5" 0 true 5
[ "$(count '^orvalenctl z')" = 1 ] || fail "another printer was tried again"

run "clock refused" "0" 1 true 1
grep -q busctl "$work/calls" && fail "a refused clock raised a notification about the Z"

run "no desktop session" "4" 0 "" 4
grep -q Notify "$work/calls" && fail "notified without a session bus"
run "no notification service" "4" 0 false 4
grep -q Notify "$work/calls" && fail "notified without a notification service"

[ $failures -eq 0 ] && echo "daily service: retries and notification as intended"
exit $((failures > 0))
