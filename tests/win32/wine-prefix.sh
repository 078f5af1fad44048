# shellcheck shell=bash
# Sourced by the Wine lane's scripts that bring their own ports (the end-to-end test, the bench).
#
# wine_prefix_take BUILD_DIR
#   Checks that Wine is there, points WINEPREFIX at BUILD_DIR/wine-prefix (the one wine-run.sh
#   uses), takes its lock on descriptor 9 for the rest of the script (the prefix's COM ports are
#   one set for every test), creates the prefix once and removes every COM port from it.
# wine_path DIR...
#   Sets WINEPATH to the folders (the Qt and MinGW run-time DLLs).
# wine_name PATH
#   Prints the Windows name of a Linux path (Z:\...).
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

wine_prefix_take() {
  [ -x "$wine" ] || { echo "$0: $wine is missing (scripts/windows.sh deps installs it)" >&2; exit 1; }
  export WINEPREFIX="$1/wine-prefix" WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$1"
  exec 9>"$1/wine-prefix.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    rm -rf "$WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1
    "$wineserver" -w
    touch "$WINEPREFIX/.ready"
  fi
  rm -f "$WINEPREFIX"/dosdevices/com*
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
