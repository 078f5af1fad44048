# shellcheck shell=sh
# Sourced by every script that starts the simulated printer (also by the real-tty lane's guest,
# whose shell is busybox: plain POSIX sh here).
#
# sim_wait_ready LOG PID [SECONDS]
#   Waits until the simulator started as PID has printed its ready line into LOG. Returns 0 once
#   it has, 1 when the process ended without it, 2 when SECONDS (default 10) have passed.
sim_wait_ready() {
  sim_ready_left=$(( ${3:-10} * 10 ))
  while ! grep -q ' EV ready ' "$1" 2>/dev/null; do
    if ! kill -0 "$2" 2>/dev/null; then
      grep -q ' EV ready ' "$1" 2>/dev/null && return 0
      return 1
    fi
    [ "$sim_ready_left" -gt 0 ] || return 2
    sim_ready_left=$((sim_ready_left - 1))
    sleep 0.1
  done
}
