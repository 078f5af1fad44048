#!/usr/bin/env bash
# Figures of orvalenctl, the program a timer starts every day:
#   `orvalenctl --version`, process start to exit, median of 50 runs   (target < 10 ms)
#   `orvalenctl ports` over COM1..COM20, median of 50 runs              (target < 50 ms)
#   peak resident memory of `ports`                                      (target < 15 MB)
#   the libraries it loads: Qt Core, no Qt Gui or Widgets
#   `orvalenctl status` on a remembered port against the simulated printer on the real clock,
#   median of 5 runs, less one exchange (a 1 s poll tick to collect the reply and the 2 s
#   settling pause)                                                      (target < 50 ms)
#   `orvalenctl z --if-due` that finds today's Z at the end of a 200 MB journal, median of 10
#   runs                                                                 (target < 100 ms)
#   peak resident memory of that run                                     (target < 20 MB)
#   `orvalenctl history --json` of that journal: wall time and peak memory, which must not grow
#   with the journal (it streams)
# Usage: bench/orvalenctl.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target orvalenctl orvalen-printer-sim >/dev/null
ctl="$build/src/ctl/orvalenctl"
sim="$build/tools/printer-sim/orvalen-printer-sim"
. "$root/scripts/sim-ready.sh"
. "$root/bench/median.sh"

# Processor time (user + system) per run, which a loaded machine does not inflate as it does the
# wall time: the children's times of a subshell that runs the command N times.
cpu_ms() {
  local runs="$1"
  shift
  python3 - "$runs" "$@" <<'PY'
import os, resource, subprocess, sys
runs, command = int(sys.argv[1]), sys.argv[2:]
for _ in range(runs):
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.1f" % ((usage.ru_utime + usage.ru_stime) * 1000 / runs))
PY
}

# The machine's own cost of starting a process, for comparison on a loaded computer.
echo "/bin/true (baseline): $(median_ms 50 /bin/true) ms wall"
echo "orvalenctl --version: $(median_ms 50 "$ctl" --version) ms wall, $(cpu_ms 50 "$ctl" --version) ms processor (target < 10 ms)"
echo "orvalenctl ports:     $(median_ms 50 "$ctl" ports) ms wall, $(cpu_ms 50 "$ctl" ports) ms processor (target < 50 ms)"
rss=$(/usr/bin/time -f %M "$ctl" ports 2>&1 >/dev/null | tail -1)
echo "peak RSS of ports:    $((rss / 1024)).$(((rss % 1024) * 10 / 1024)) MB (target < 15 MB)"
qt=$(ldd "$ctl" | awk '/libQt6/ { print $1 }' | tr '\n' ' ')
echo "Qt libraries:         $qt"
if grep -qE 'libQt6(Gui|Widgets)' <<<"$qt"; then
  echo "FAIL: orvalenctl loads Qt Gui or Widgets"
  exit 1
fi

# The simulated printer on COM3 of a folder of our own, with a journal and a remembered printer
# of their own: nothing of the user's is touched.
devdir="$(mktemp -d "${TMPDIR:-/tmp}/orvalenctl-bench.XXXXXX")"
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$devdir"
}
trap cleanup EXIT
"$sim" --link "$devdir/com3" >"$devdir/sim.log" 2>&1 &
sim_pid=$!
sim_wait_ready "$devdir/sim.log" "$sim_pid" 5 || { cat "$devdir/sim.log" >&2; exit 1; }
export ORVALEN_COM_DIR="$devdir" XDG_STATE_HOME="$devdir/state" XDG_CONFIG_HOME="$devdir/config"
"$ctl" find >/dev/null
status_ms=$(median_ms 5 "$ctl" status)
echo "orvalenctl status:    $status_ms ms wall, $(awk -v t="$status_ms" 'BEGIN { printf "%.1f", t - 3000 }') ms beyond one exchange of 3000 ms (target < 50 ms)"

# A 200 MB journal: a year of jobs, today's Z last. In a folder of its own, with the printer
# remembered, so that --if-due looks at the journal before it opens any port.
big="$devdir/big"
mkdir -p "$big/state/orvalen" "$big/config/orvalen"
printf '[printer]\nport=COM3\nserial=BENCH00001\n' >"$big/config/orvalen/orvalenctl.ini"
python3 - "$big/state/orvalen/journal.jsonl" <<'PY'
import datetime, sys
now = datetime.datetime.now(datetime.timezone.utc).astimezone()
line = ('{"command":"status","device":"/dev/ttyS2","port":"COM3","reply_hex":"%s",'
        '"result":"answered","serial":"BENCH00001","time":"%s"}\n')
reply = "02" + "41" * 60 + "03"
with open(sys.argv[1], "w") as out:
    size, i = 0, 0
    start = now - datetime.timedelta(days=365)
    while size < 200 * 1024 * 1024:
        text = line % (reply, (start + datetime.timedelta(seconds=30 * i)).isoformat(timespec="seconds"))
        out.write(text)
        size += len(text)
        i += 1
    out.write(line.replace('"status"', '"z"') % (reply, (now - datetime.timedelta(hours=1)).isoformat(timespec="seconds")))
PY
journal_mb=$(($(stat -c %s "$big/state/orvalen/journal.jsonl") / 1024 / 1024))
export XDG_STATE_HOME="$big/state" XDG_CONFIG_HOME="$big/config"
if ! grep -q 'nothing sent' <<<"$("$ctl" z --if-due 2>&1)"; then
  echo "FAIL: z --if-due did not find the Z at the journal's end"
  exit 1
fi
echo "z --if-due, ${journal_mb} MB journal: $(median_ms 10 "$ctl" z --if-due) ms wall (target < 100 ms)"
rss=$(/usr/bin/time -f %M "$ctl" z --if-due 2>&1 >/dev/null | tail -1)
echo "peak RSS of it:       $((rss / 1024)).$(((rss % 1024) * 10 / 1024)) MB (target < 20 MB)"
start=$(date +%s%N)
rss=$(/usr/bin/time -f %M "$ctl" history --json 2>&1 >/dev/null | tail -1)
end=$(date +%s%N)
echo "history --json:       $(((end - start) / 1000000)) ms wall, peak RSS $((rss / 1024)).$(((rss % 1024) * 10 / 1024)) MB"
