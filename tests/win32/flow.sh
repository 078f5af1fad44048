#!/usr/bin/env bash
# The whole procedure of orvalen.exe under Wine, on a private Xvfb display, against the simulated
# printer (the Linux program) on COM3, driven with keys as a user drives it:
#   flow.sh BUILD_DIR SIMULATOR CASE DLL_DIR... -- orvalen.exe
# CASE accepted:      Alt+S (the search finds the printer on COM3; COM1 and COM2 do not exist),
#                     Alt+S (the Z report), Alt+S, Alt+P (the clock): the success message.
# CASE refused-clock: the same against a printer that refuses the clock: the error message.
# The frames the printer received are checked byte for byte, and the program's --traffic-log
# against the printer's own log. Fails, never skips, when a tool is missing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

if [ -z "${ORVALEN_FLOW_FB:-}" ]; then
  for tool in xvfb-run xdotool xclip; do
    command -v "$tool" >/dev/null ||
      { echo "flow.sh: $tool is missing (scripts/windows.sh deps installs it)" >&2; exit 1; }
  done
  # The screen is also a file (XWD, -fbdir): the test reads from it which page is in view.
  fb="$(mktemp -d)"
  status=0
  ORVALEN_FLOW_FB="$fb" xvfb-run -a -s "-screen 0 1024x768x24 -fbdir $fb" "$0" "$@" || status=$?
  rm -rf "$fb"
  exit "$status"
fi

build="$1" sim="$2" case="$3"
shift 3
case "$case" in
  accepted) sim_options=() expected="Impresor Actualizado Satisfacotiamente" ;;
  refused-clock)
    sim_options=(--refuse-clock)
    expected="Ocurrio un error inesperado. Repita el proceso y si persiste la falla llame a su distribuidor"
    ;;
  *) echo "flow.sh: unknown case '$case'" >&2; exit 2 ;;
esac
. "$here/lane.sh"
lane_start flow.sh "$build" "$sim" "$@"

work="$(mktemp -d)"
sim_pid="" app=""
cleanup() {
  [ -z "$app" ] || kill "$app" 2>/dev/null || true
  "$wineserver" -k 2>/dev/null || true
  [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "flow.sh ($case): $*" >&2
  for f in sim.log traffic.log out.txt; do
    [ -s "$work/$f" ] && { echo "--- $f" >&2; cat "$work/$f" >&2; }
  done
  exit 1
}

# Waits up to SECONDS for the command to succeed; fails when orvalen.exe ends before.
wait_for() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    kill -0 "$app" 2>/dev/null || "$@" || fail "orvalen.exe ended while waiting for: $*"
    [ "$SECONDS" -lt "$end" ] || fail "not within the time: $*"
    sleep 0.2
  done
}

"$sim" --link "$work/com3" --serial ABC1234567 "${sim_options[@]}" >"$work/sim.log" 2>&1 &
sim_pid=$!
sim_wait_ready "$work/sim.log" "$sim_pid" 30 || fail "the simulator did not start"
ln -sfn "$(readlink -f "$work/com3")" "$com3"

# The frames the printer took as frames, as the hex of their RX lines.
frames() {
  awk '$2 == "RX" { rx = $0; next }
       $2 == "EV" && $3 == "frame" && NF == 3 && rx != "" {
         sub(/^[^ ]+ RX /, "", rx); sub(/ \| .*/, "", rx); print rx }
       { rx = "" }' "$work/sim.log"
}
frame_count() { [ "$(frames | wc -l)" -ge "$1" ]; }
# Text as hex bytes, and back.
hex() { printf '%s' "$1" | od -An -tx1 -v | tr 'a-f' 'A-F' | xargs; }
text() { local b out=""; for b in $1; do out+="$(printf "\\x$b")"; done; echo "$out"; }
check_frame() {
  local got
  got="$(frames | sed -n "$1p")"
  [ "$got" = "$3" ] || fail "frame $1 ($2): the printer received '$got', not '$3'"
}

"$wineserver" -p2 >/dev/null 2>&1
(cd "$work" && exec "$wine" "$exe" --traffic-log "$(wine_name "$work/traffic.log")" \
  >"$work/out.txt" 2>&1) &
app=$!

main_window() {
  wid="$(xdotool search --onlyvisible --name '^Orvalen V1\.4$' 2>/dev/null | head -1)"
  [ -n "$wid" ]
}
wait_for 180 main_window
xdotool mousemove 1023 767 # the pointer stays out of the pictures below
eval "$(xdotool getwindowgeometry --shell "$wid")"
top="$Y"

# Which page is in view: the rows of the screen where the wizard shows a page's title. A page is
# new when those rows differ from every page seen so far and hold still for three looks; it is
# shown again when they are as they were then, for three looks.
read -r header_size bytes_per_line ncolors < <(od -An -tu4 --endian=big -N80 \
  "$ORVALEN_FLOW_FB/Xvfb_screen0" | xargs | awk '{ print $1, $13, $20 }')
pixels=$((header_size + ncolors * 12))
header() {
  dd if="$ORVALEN_FLOW_FB/Xvfb_screen0" iflag=skip_bytes,count_bytes status=none \
    skip=$((pixels + top * bytes_per_line)) count=$((40 * bytes_per_line)) | md5sum | cut -c1-32
}
declare -A page=()
last="" still=0
new_page() {
  local h s
  h="$(header)"
  for s in "${page[@]}"; do [ "$h" != "$s" ] || { still=0; return 1; }; done
  if [ "$h" = "$last" ]; then still=$((still + 1)); else still=1 last="$h"; fi
  [ "$still" -ge 3 ] || return 1
  page[$1]="$h"
  still=0
}
shown() {
  if [ "$(header)" = "${page[$1]}" ]; then still=$((still + 1)); else still=0; fi
  [ "$still" -ge 3 ] || return 1
  still=0
}
press() { xdotool windowfocus --sync "$wid" key --clearmodifiers "$1"; }

wait_for 60 new_page welcome
press alt+s
wait_for 300 grep -qs ' EV Impresora encontrada en COM3, serial ABC1234567$' "$work/traffic.log"
wait_for 60 new_page port # the search is over
[ "$(frames | wc -l)" = 1 ] || fail "the search sent $(frames | wc -l) frames, not one"
check_frame 1 "status request" "$(frame 44 80)"
! grep -qE ' EV COM[12] abierto$' "$work/traffic.log" || fail "a COM1 or COM2 was there"

press alt+s
wait_for 120 frame_count 2
check_frame 2 "Z report" "$(frame 45 "39 1C 5A 1C 54")"
wait_for 120 new_page verification # the report's wait is over
press alt+s
wait_for 60 new_page last
[ "$(frames | wc -l)" = 2 ] || fail "entering the last page sent a frame"

before="$(date +%y%m%d%H%M%S)"
press alt+p
box() {
  box="$(xdotool search --onlyvisible --name '^Orvalen$' 2>/dev/null | head -1)"
  [ -n "$box" ]
}
wait_for 120 box
after="$(date +%y%m%d%H%M%S)"
wait_for 30 frame_count 3
clock="$(frames | sed -n 3p)"
stamp="$(text "$(echo "$clock" | cut -d' ' -f5-10)")$(text "$(echo "$clock" | cut -d' ' -f12-17)")"
[[ "$stamp" > "$before" || "$stamp" == "$before" ]] && [[ "$stamp" < "$after" || "$stamp" == "$after" ]] ||
  fail "the clock sent ($stamp) is not the computer's ($before to $after)"
check_frame 3 "date and time" "$(frame 46 "58 1C $(hex "${stamp:0:6}") 1C $(hex "${stamp:6:6}")")"

# Ctrl+C in a message box copies its title, text and buttons, as on Windows.
xdotool windowfocus --sync "$box" key --clearmodifiers ctrl+c
copied() { xclip -selection clipboard -o 2>/dev/null | tr -d '\r' | grep -qxF "$expected"; }
wait_for 60 copied
xdotool windowfocus --sync "$box" key Return
no_box() { ! box; }
wait_for 60 no_box
[ "$(frames | wc -l)" = 3 ] || fail "Finish sent $(frames | wc -l) frames in all, not three"

if [ "$case" = accepted ]; then
  # Back from the last page: another Z report, with the fourth sequence byte the window draws.
  press alt+a
  wait_for 120 frame_count 4
  check_frame 4 "Z report again" "$(frame 35 "39 1C 5A 1C 54")"
  wait_for 120 shown verification
fi

# Closing the window ends the program; its traffic log matches the printer's own, line for line.
press alt+F4
exited() { ! kill -0 "$app" 2>/dev/null; }
wait_for 60 exited
app=""
logged() { awk -v d="$2" '$2 == d { sub(/^[^ ]+ [A-Z][A-Z] /, ""); sub(/ \| .*/, ""); print }' "$1"; }
[ "$(logged "$work/traffic.log" TX)" = "$(frames)" ] ||
  fail "the traffic log's TX lines are not the frames the printer received"
[ "$(logged "$work/traffic.log" RX | xargs)" = "$(logged "$work/sim.log" TX | xargs)" ] ||
  fail "the traffic log's RX bytes are not what the printer sent"
echo "flow.sh ($case): passed"
