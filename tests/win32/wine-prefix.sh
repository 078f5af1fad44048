# shellcheck shell=bash
# Sourced by the Wine lane's scripts: those that bring their own ports (the end-to-end tests, the
# benches) take the lane's prefix with wine_prefix_take; wine-run.sh, which makes a prefix of its
# own, only splits its arguments and sets the DLL path.
#
# wine_prefix_take BUILD_DIR
#   Checks that Wine is there, points WINEPREFIX at BUILD_DIR/wine-prefix-lane, takes its lock on
#   descriptor 9 for the rest of the script (its COM3 is one for every script), and creates the
#   prefix once, with COM3 as the only port: the link $com3, to be pointed at a printer.
# wine_split DLL_DIR... -- PROGRAM ARGS...
#   Sets the arrays dlls (the folders before --) and command (what follows it), as the lane's
#   scripts take them.
# wine_path DIR...
#   Sets WINEPATH to the folders (the Qt and MinGW run-time DLLs).
# wine_name PATH
#   Prints the Windows name of a Linux path (Z:\...).
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

wine_prefix_take() {
  [ -x "$wine" ] || { echo "$0: $wine is missing (scripts/windows.sh deps installs it)" >&2; exit 1; }
  export WINEPREFIX="$1/wine-prefix-lane" WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
  com3="$1/wine-lane-com3"
  mkdir -p "$1"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    rm -rf "$WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1
    # Wine names the machine's own serial devices (/dev/ttyS0...) COMn itself, from the first
    # name its Ports key leaves free: every name is taken there, empty (hidden) but COM3, which
    # is the link $com3 that each script points at its printer.
    local reg="$WINEPREFIX/ports.reg" n
    {
      printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
      for n in $(seq 256); do
        if [ "$n" = 3 ]; then printf '"COM3"="%s"\n' "$com3"; else printf '"COM%d"=""\n' "$n"; fi
      done
    } >"$reg"
    "$wine" regedit /S "$(wine_name "$reg")" >/dev/null 2>&1
    "$wineserver" -w
    touch "$WINEPREFIX/.ready"
  fi
}

wine_split() {
  dlls=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    dlls+=("$1")
    shift
  done
  [ $# -ge 2 ] || { echo "$0: DLL_DIR... -- PROGRAM expected" >&2; exit 2; }
  shift
  command=("$@")
}

wine_path() {
  local d path=""
  for d in "$@"; do path+="$(wine_name "$d");"; done
  export WINEPATH="$path"
}

wine_name() {
  local p="$1"
  echo "Z:${p//\//\\}"
}
