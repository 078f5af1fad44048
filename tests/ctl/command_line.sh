#!/usr/bin/env bash
# orvalenctl's command line as a user meets it in a terminal:
#   command_line.sh ORVALENCTL EXPECTED_VERSION
set -uo pipefail
ctl="$1"
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
run() { env -u LANGUAGE LC_ALL=C "$@" >"$out" 2>"$err"; }

run "$ctl" --version
[ $? -eq 0 ] && [ "$(cat "$out")" = "orvalenctl $version" ] && [ ! -s "$err" ] || fail "--version"

run "$ctl" --help
[ $? -eq 0 ] && [ ! -s "$err" ] || fail "--help"
grep -q '^Usage: orvalenctl \[options\] COMMAND' "$out" || fail "--help's usage line"
for word in ports find status 'z [--if-due]' clock 'history [--csv]' --port --device --json \
  --traffic-log ORVALEN_COM_DIR 'Exit status' 'schedule install|remove|show'; do
  grep -qF -- "$word" "$out" || fail "--help does not mention $word"
done

for bad in "" "bogus" "--bogus ports" "ports extra" "--port COM21 status" "--port COM0 z" \
  "--port com3 --device /dev/ttyS2 status" "--csv ports" "--if-due clock" "--port" "schedule" "schedule bogus" "schedule show extra"; do
  run "$ctl" $bad
  rc=$?
  [ $rc -eq 2 ] && [ ! -s "$out" ] && grep -q "^Try 'orvalenctl --help'" "$err" ||
    fail "'$bad' is not a usage error (rc $rc)"
done

# On Linux the systemd user timer schedules the Z: schedule names the commands that turn it on.
run "$ctl" schedule install
[ $? -eq 6 ] && grep -qx 'systemctl --user enable --now orvalen-daily-z.timer' "$out" ||
  fail "schedule install on Linux"

# Spanish for a Spanish locale, Qt's own parser messages included; English for any other.
LANG=es_AR.UTF-8 LC_ALL= "$ctl" --bogus >"$out" 2>"$err"
[ $? -eq 2 ] && grep -q "^Pruebe 'orvalenctl --help'" "$err" || fail "Spanish usage error"
LANG=de_DE.UTF-8 LC_ALL= "$ctl" bogus >"$out" 2>"$err"
grep -q "^orvalenctl: unknown command 'bogus'" "$err" || fail "English for another language"

# Started with stdout closed (as some schedulers do), it still runs and its results go nowhere.
"$ctl" ports >&- 2>"$err"
[ $? -eq 0 ] || fail "ports with stdout closed"

# Results that cannot be written are a failure, not a listing: whoever reads them gets nothing.
state="$(mktemp -d)"
for command in "history --csv" ports; do
  env -u LANGUAGE LC_ALL=C XDG_STATE_HOME="$state" "$ctl" $command >/dev/full 2>"$err"
  rc=$?
  [ $rc -eq 1 ] && grep -q "^orvalenctl: the results could not be written to standard output" "$err" ||
    fail "'$command >/dev/full' (rc $rc)"
done
rm -rf "$state"

[ $failures -eq 0 ] && echo "orvalenctl command line: all cases passed"
exit $((failures > 0))
