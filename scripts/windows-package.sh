#!/usr/bin/env bash
# Builds the Windows installer and the portable zip from a Windows build folder:
#   scripts/windows-package.sh [BUILD_DIR [OUT_DIR]]
# BUILD_DIR (default build-win, as scripts/windows.sh makes it) must hold orvalen.exe,
# orvalenctl.exe and orvalenctlw.exe. Writes orvalen-<version>-setup.exe and
# orvalen-<version>-windows.zip into OUT_DIR (default BUILD_DIR). Both hold the same files:
# the programs, the DLLs they load (Qt's and MinGW's run-time, found by reading the programs'
# imports), platforms/qwindows.dll, all without debug information, the licences and the manual
# as text. Installs nsis, zip and groff-base through scripts/deps.sh when they are missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build-win}" && pwd)"
out="$(mkdir -p "${2:-$build}" && cd "${2:-$build}" && pwd)"

log() { echo "windows-package.sh: $*" >&2; }

# Building for Windows already needed the run-time set; the packaging tools come on top.
"$root/scripts/deps.sh" --run nsis zip groff-base binutils-mingw-w64-x86-64 >&2

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
[ -f "$build/CMakeCache.txt" ] || { log "$build is no build folder (no CMakeCache.txt)"; exit 1; }
version="$(cache_value CMAKE_PROJECT_VERSION)"
qt_dir="$(cache_value Qt6_DIR)"
if [ -z "$version" ] || [ ! -d "$qt_dir" ]; then
  log "$build has no project version or Qt folder in its CMakeCache.txt"
  exit 1
fi
qt="$(cd "$qt_dir/../../.." && pwd)"
objdump=x86_64-w64-mingw32-objdump
gcc_bin="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
dll_dirs=("$qt/bin" "$gcc_bin" /usr/x86_64-w64-mingw32/lib)

program() {
  local found
  found="$(find "$build" -name wine-prefix -prune -o -name "$1" -type f -print | head -n1)"
  [ -n "$found" ] || { log "$build has no $1: build it first (scripts/windows.sh test)"; exit 1; }
  echo "$found"
}

name="orvalen-$version-windows"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
stage="$work/$name"
mkdir -p "$stage/platforms" "$stage/licenses" "$stage/manual"
for exe in orvalen.exe orvalenctl.exe orvalenctlw.exe; do
  cp "$(program "$exe")" "$stage/"
done
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"

# Every DLL that a file imports and that is not the system's, then what those import in turn.
declare -A copied=()
queue=("$stage"/*.exe "$stage/platforms/qwindows.dll")
while [ ${#queue[@]} -gt 0 ]; do
  file="${queue[0]}"
  queue=("${queue[@]:1}")
  while read -r dll; do
    key="${dll,,}"
    [ -z "${copied[$key]:-}" ] || continue
    for dir in "${dll_dirs[@]}"; do
      if [ -f "$dir/$dll" ]; then
        cp "$dir/$dll" "$stage/"
        copied[$key]=1
        queue+=("$stage/$dll")
        break
      fi
    done
    copied[$key]="${copied[$key]:-system}"
  done < <("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p')
done

# Debug information is for the build folder; the packages get the code (a third of the size).
find "$stage" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-debug {} +

# Text files the Windows way (CRLF), so that any editor shows them right.
crlf() { sed 's/\r\?$/\r/' "$1" >"$2"; }
crlf "$root/LICENSE" "$stage/licenses/LICENSE.txt"
crlf /usr/share/common-licenses/LGPL-3 "$stage/licenses/Qt-LGPL-3.0.txt"
crlf /usr/share/common-licenses/GPL-3 "$stage/licenses/GPL-3.0.txt"
{
  cat /usr/share/doc/gcc-mingw-w64-base/copyright
  echo
  cat /usr/share/doc/mingw-w64-common/copyright
} >"$work/mingw.txt"
crlf "$work/mingw.txt" "$stage/licenses/MinGW-runtime.txt"
for page in orvalen orvalenctl; do
  GROFF_NO_SGR=1 groff -man -Tutf8 -P-cbou "$root/packaging/man/$page.1" >"$work/$page.txt"
  crlf "$work/$page.txt" "$stage/manual/$page.txt"
done

# The installer's file lists, from the folder itself: what is installed is what is removed.
(
  cd "$stage"
  find . -type d ! -name . | sort | sed 's|^\./||; s|/|\\|g' >"$work/dirs"
  find . -type f | sort | sed 's|^\./||; s|/|\\|g' >"$work/files"
)
{
  while read -r dir; do echo "CreateDirectory \"\$INSTDIR\\$dir\""; done <"$work/dirs"
  while read -r file; do
    echo "File \"/oname=$file\" \"$stage/$file\""
  done <"$work/files"
} >"$work/install-files.nsh"
{
  while read -r file; do echo "Delete \"\$INSTDIR\\$file\""; done <"$work/files"
  tac "$work/dirs" | while read -r dir; do echo "RMDir \"\$INSTDIR\\$dir\""; done
} >"$work/uninstall-files.nsh"

makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DLISTS="$work" \
  -DOUTFILE="$out/orvalen-$version-setup.exe" "$root/packaging/windows/orvalen.nsi" >&2
rm -f "$out/$name.zip"
(cd "$work" && zip -q -r -X "$out/$name.zip" "$name")
log "$(du -k "$out/orvalen-$version-setup.exe" | cut -f1) KiB $out/orvalen-$version-setup.exe"
log "$(du -k "$out/$name.zip" | cut -f1) KiB $out/$name.zip"
log "$(find "$stage" -type f | wc -l) files, DLLs from the system left out:" \
  "$(for k in "${!copied[@]}"; do [ "${copied[$k]}" = system ] && echo "$k"; done | sort | tr '\n' ' ')"
