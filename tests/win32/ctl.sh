#!/usr/bin/env bash
# orvalenctl.exe's jobs under Wine against the simulated printer on COM3, the journal where
# Windows keeps it (%LOCALAPPDATA%\Orvalen), then its faults and the daily task:
#   ctl.sh BUILD_DIR SIMULATOR DLL_DIR... -- orvalenctl.exe
# Fails, never skips.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$1" sim="$2"
shift 2
. "$here/lane.sh"
lane_start ctl.sh "$build" "$sim" "$@"
export LC_ALL=C.UTF-8 ORVALEN_TIME_SCALE=20

work="$(mktemp -d)"
sim_pid=""
stop_printer() {
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
  sim_pid=""
}
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  stop_printer
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "ctl.sh: $*" >&2
  for f in sim.log out err; do [ -s "$work/$f" ] && { echo "--- $f" >&2; cat "$work/$f" >&2; }; done
  exit 1
}
# start_printer SERIAL [SIMULATOR OPTION...]: a fresh printer behind COM3, with a log of its own.
start_printer() {
  stop_printer
  local serial="$1"
  shift
  rm -f "$work/com3"
  "$sim" --link "$work/com3" --serial "$serial" --time-scale 20 "$@" >"$work/sim.log" 2>&1 &
  sim_pid=$!
  sim_wait_ready "$work/sim.log" "$sim_pid" 30 || fail "the simulator did not start"
  ln -sfn "$(readlink -f "$work/com3")" "$com3"
}
# ctl EXPECTED_STATUS ARGS...: runs orvalenctl.exe, its output in $work/out and $work/err.
ctl() {
  local want="$1" status=0
  shift
  "$wine" "$exe" "$@" >"$work/out" 2>"$work/err" || status=$?
  sed -i 's/\r$//' "$work/out" "$work/err"
  [ "$status" = "$want" ] || fail "orvalenctl $* ended with $status, not $want"
}
json() { sed -n "s/.*\"$1\": *\"\\([^\"]*\\)\".*/\\1/p" "$work/out"; }
# The frames the printer received, as hex.
frames() { awk '$2 == "RX" { sub(/^[^ ]+ RX /, ""); sub(/ \| .*/, ""); if ($1 == "02") print }' "$work/sim.log"; }

# A clean user: no remembered printer, no journal, no task.
"$wine" reg delete 'HKCU\Software\orvalen' /f >/dev/null 2>&1 || true
"$wine" "$exe" schedule remove >/dev/null 2>&1 || true
"$wineserver" -w
user_dir=""
for dir in "$WINEPREFIX"/drive_c/users/*/AppData/Local; do
  case "$dir" in */Public/*) ;; *) user_dir="$dir" ;; esac
done
[ -n "$user_dir" ] || fail "no user folder in $WINEPREFIX"
journal="$user_dir/Orvalen/journal.jsonl"
rm -rf "$user_dir/Orvalen"

start_printer ABC1234567
ctl 0 --json find
[ "$(json port)/$(json serial)" = "COM3/ABC1234567" ] || fail "find answered: $(cat "$work/out")"
ctl 0 status
ctl 0 --json z
[ "$(json result)" = answered ] || fail "z answered: $(cat "$work/out")"
z="$(frames | sed -n 4p)"
[ "$z" = "$(frame "$(cut -d' ' -f2 <<<"$z")" "39 1C 5A 1C 54")" ] || fail "the Z frame was '$z'"
# The remembered printer had its Z today: nothing is sent.
ctl 0 --json z --if-due
[ "$(json result)" = skipped ] || fail "the second z --if-due: $(cat "$work/out")"
[ "$(frames | wc -l)" = 4 ] || fail "the second z --if-due sent something"
ctl 0 --json clock
[ "$(json result)" = accepted ] || fail "clock: $(cat "$work/out")"
[ "$(frames | sed -n 6p | cut -d' ' -f3-4)" = "58 1C" ] || fail "the clock frame was '$(frames | sed -n 6p)'"
ctl 0 --csv history
[ "$(tail -n +2 "$work/out" | wc -l)" = 5 ] || fail "history listed: $(cat "$work/out")"
# One line per job, and the Z's "sending" before its frame.
lines="$(sed 's/.*"command":"\([a-z]*\)".*"result":"\([a-z-]*\)".*/\1 \2/' "$journal" | xargs)"
[ "$lines" = "find answered status answered z sending z answered z skipped clock accepted" ] ||
  fail "the journal holds: $lines"

# Another printer on COM3: the status request and nothing else.
start_printer XYZ7654321
ctl 5 --json z
[ "$(json result)" = other-printer ] && grep -q ABC1234567 "$work/err" || fail "another printer: $(cat "$work/err")"
[ "$(frames | wc -l)" = 1 ] || fail "another printer got $(frames | wc -l) frames"

# The printer goes away on the Z frame; a damaged line later in the journal hides nothing.
start_printer ABC1234567 --vanish-after 2
ctl 1 --port COM3 z
grep -q "went away" "$work/err" || fail "a vanished printer: $(cat "$work/err")"
[ "$(tail -1 "$journal" | sed 's/.*"result":"\([a-z-]*\)".*/\1/')" = no-reply ] || fail "the vanished Z was not journalled"
printf '{"command":"z", damaged\n' >>"$journal"
ctl 0 history
grep -q "line 10" "$work/err" || fail "history did not warn of the damaged line: $(cat "$work/err")"
grep -c "" "$journal" | grep -qx 10 || fail "reading changed the journal"

# Two jobs on one port: the second is told who holds it.
start_printer ABC1234567 --silent
("$wine" "$exe" --port COM3 status >/dev/null 2>&1) &
first=$!
for _ in $(seq 300); do grep -q ' RX ' "$work/sim.log" && break; sleep 0.1; done
ctl 4 --port COM3 status
grep -q "orvalenctl" "$work/err" || fail "a second job on COM3: $(cat "$work/err")"
wait "$first" || true

# A journal that cannot be written (its folder is a file): the job is done and says so.
start_printer ABC1234567
mv "$user_dir/Orvalen" "$work/kept"
touch "$user_dir/Orvalen"
ctl 0 status
grep -q "not recorded" "$work/err" || fail "an unwritable journal: $(cat "$work/err")"
rm "$user_dir/Orvalen"
mv "$work/kept" "$user_dir/Orvalen"

# No printer: nothing remembered, and no port answers.
start_printer ABC1234567 --silent
"$wine" reg delete 'HKCU\Software\orvalen' /f >/dev/null 2>&1
ctl 3 --json status
[ "$(json result)" = not-found ] || fail "no printer: $(cat "$work/out")"

# The daily task. Wine's Task Scheduler reads the whole XML and refuses a task it cannot read,
# then keeps the registration and the settings (its triggers and actions are stubs). Removing it
# twice changes nothing the second time.
ctl 0 schedule install
task="$(ls "$WINEPREFIX"/drive_c/windows/system32/tasks/Orvalen* 2>/dev/null | head -1)"
[ -n "$task" ] || fail "no task after schedule install"
for want in "orvalenctl schedule install" '<StartWhenAvailable>true' \
  '<MultipleInstancesPolicy>IgnoreNew' '<ExecutionTimeLimit>PT1H'; do
  grep -q -- "$want" "$task" || fail "the task kept lacks $want: $(cat "$task")"
done
ctl 0 schedule remove
[ ! -e "$task" ] || fail "schedule remove left the task"
ctl 6 schedule remove
echo "ctl.sh: passed"
