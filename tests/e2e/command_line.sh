#!/usr/bin/env bash
# The program's command line and start-up failures, as a user meets them in a terminal:
#   command_line.sh ORVALEN_BINARY EXPECTED_VERSION
set -uo pipefail
orvalen="$1"
version="$2"
failures=0
out="$(mktemp)"
err="$(mktemp)"
trap 'rm -f "$out" "$err"' EXIT

fail() {
  echo "FAIL: $*"
  echo "  stdout: $(head -c 600 "$out")"
  echo "  stderr: $(head -c 600 "$err")"
  failures=$((failures + 1))
}

# Runs orvalen with no display and none of Qt's platform variables, unless the caller adds some.
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" >"$out" 2>"$err"
}

run "$orvalen" --version
rc=$?
[ $rc -eq 0 ] && [ "$(cat "$out")" = "orvalen $version" ] && [ ! -s "$err" ] ||
  fail "--version (rc $rc)"

for help in --help -h; do
  run "$orvalen" "$help"
  rc=$?
  [ $rc -eq 0 ] && [ ! -s "$err" ] || fail "$help (rc $rc)"
  for word in 'Usage: orvalen' --traffic-log ORVALEN_COM_DIR ORVALEN_TIME_SCALE /dev/ttyUSB0 dialout; do
    grep -qF -- "$word" "$out" || fail "$help does not mention $word"
  done
done

for bad in --bogus -x unexpected; do
  run "$orvalen" "$bad"
  rc=$?
  [ $rc -eq 2 ] && [ ! -s "$out" ] && [ "$(wc -l <"$err")" -eq 2 ] &&
    grep -q "^Try 'orvalen --help'" "$err" || fail "$bad (rc $rc)"
done

# A traffic log that cannot be opened ends the program before it looks for a display.
run "$orvalen" --traffic-log /nonexistent-folder/traffic.log
rc=$?
[ $rc -eq 2 ] && [ ! -s "$out" ] && [ "$(wc -l <"$err")" -eq 1 ] &&
  grep -q '^orvalen: cannot open the traffic log /nonexistent-folder/traffic.log: ' "$err" ||
  fail "--traffic-log into a missing folder (rc $rc)"
# A FIFO nobody reads: said at once, where opening it would wait for a reader for ever.
fifo="$(mktemp -u)"
mkfifo "$fifo"
run timeout 20 "$orvalen" --traffic-log "$fifo"
rc=$?
rm -f "$fifo"
[ $rc -eq 2 ] && grep -q '^orvalen: cannot open the traffic log .*: it is a FIFO that no program reads' "$err" ||
  fail "--traffic-log on a FIFO without a reader (rc $rc)"
for bad in "--traffic-log" "--traffic-log="; do
  run "$orvalen" $bad
  rc=$?
  [ $rc -eq 2 ] && grep -q "^Try 'orvalen --help'" "$err" || fail "$bad without a file (rc $rc)"
done

run "$orvalen"
rc=$?
[ $rc -eq 1 ] && grep -q '^No display found: neither DISPLAY' "$err" || fail "no display (rc $rc)"

# A display that does not answer: a number with no X server behind it.
stale=""
for n in $(seq 97 -1 60); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
    stale=":$n"
    break
  fi
done
if [ -n "$stale" ]; then
  run DISPLAY="$stale" "$orvalen"
  rc=$?
  [ $rc -eq 1 ] && [ "$(wc -l <"$err")" -eq 1 ] &&
    grep -q "^No display found: DISPLAY is set to \"$stale\"" "$err" ||
    fail "stale display $stale (rc $rc)"
else
  echo "SKIP: no free display number for the stale-display case"
fi

# A display that takes the connection and never answers: the start gives up after its limit.
if [ -n "$stale" ] && command -v python3 >/dev/null; then
  ready="$(mktemp -u)"
  python3 - "${stale#:}" "$ready" <<'PY' &
import socket, sys, time
server = socket.socket(socket.AF_UNIX)
server.bind("\0/tmp/.X11-unix/X" + sys.argv[1])  # the abstract name that X clients try first
server.listen(8)
open(sys.argv[2], "w").close()
server.settimeout(30)
held = []
try:
    while True:
        held.append(server.accept()[0])
except OSError:
    pass
PY
  listener=$!
  for _ in $(seq 100); do [ -e "$ready" ] && break; sleep 0.1; done
  run DISPLAY="$stale" "$orvalen"
  rc=$?
  kill "$listener" 2>/dev/null
  wait "$listener" 2>/dev/null
  rm -f "$ready"
  [ $rc -eq 1 ] && grep -q '^No display found: the display did not answer' "$err" ||
    fail "silent display $stale (rc $rc)"
else
  echo "SKIP: silent display (needs python3 and a free display number)"
fi

# A platform plugin that does not exist: Qt's reason is passed on, without the abort.
run QT_QPA_PLATFORM=no-such-platform "$orvalen"
rc=$?
[ $rc -eq 1 ] && grep -q '^No display could be opened' "$err" && grep -q 'no-such-platform' "$err" ||
  fail "unknown platform plugin (rc $rc)"

# Closed standard descriptors: they are /dev/null, never the display's connection or the log,
# and the program starts.
log="$(mktemp)"
QT_QPA_PLATFORM=offscreen "$orvalen" --traffic-log "$log" <&- >&- 2>&- &
pid=$!
fds=""
for _ in $(seq 100); do
  fds="$(for fd in 0 1 2; do readlink "/proc/$pid/fd/$fd"; done 2>/dev/null | tr '\n' ' ')"
  [ "$fds" = "/dev/null /dev/null /dev/null " ] && ls -l "/proc/$pid/fd" | grep -qF "$log" && break
  sleep 0.1
done
started=0
kill -0 "$pid" 2>/dev/null && started=1
kill -TERM "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
[ "$fds" = "/dev/null /dev/null /dev/null " ] && [ $started -eq 1 ] ||
  fail "closed standard descriptors: 0-2 were '$fds', running $started"
rm -f "$log"

if [ $failures -eq 0 ]; then
  echo "command line: all cases passed"
fi
exit $((failures > 0))
