#!/usr/bin/env bash
# The Windows installer, end to end under Wine:
#   installer.sh BUILD_DIR
# builds orvalen-<version>-setup.exe and the zip from BUILD_DIR (scripts/windows-package.sh),
# installs silently (/S) into the build's Wine prefix, checks the files, the Start-menu shortcut
# and the uninstall entry, then uninstalls silently and checks that only the journal is left.
# The zip must hold the same files. Fails, never skips.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "$1" && pwd)"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
"$root/scripts/windows-package.sh" "$build" "$out" 2>"$out/package.log" ||
  { cat "$out/package.log"; exit 1; }
setup="$(ls "$out"/orvalen-*-setup.exe)"
zip="$(ls "$out"/orvalen-*-windows.zip)"
version="${setup##*/orvalen-}"
version="${version%-setup.exe}"

prefix="$build/wine-prefix"
# Wine's menu builder would copy the shortcut into the desktop's menus: kept in the temp folder.
export XDG_DATA_HOME="$out/xdg"
wine() { "$here/wine-run.sh" "$build" -- "$@" >>"$out/wine.log" 2>&1; }
# The prefix exists once wine-run.sh has run: the user folder comes from it.
wine cmd /c exit 0
user_dir=""
for dir in "$prefix"/drive_c/users/*/AppData/Local; do
  case "$dir" in */Public/*) ;; *) user_dir="${dir%/AppData/Local}" ;; esac
done
[ -n "$user_dir" ] || { echo "installer.sh: no user folder in $prefix" >&2; exit 1; }
app="$user_dir/AppData/Local/Programs/Orvalen"
state="$user_dir/AppData/Local/Orvalen"
shortcut="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Orvalen.lnk"
key='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvalen]'
rm -rf "$app" "$state" "$shortcut"

start=$SECONDS
wine "$setup" /S || fail "the installer ended with an error"
[ -f "$app/orvalen.exe" ] || { fail "nothing installed; Wine said:"; tail -n 20 "$out/wine.log"; }
for file in orvalen.exe orvalenctl.exe orvalenctlw.exe uninstall.exe platforms/qwindows.dll \
  Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll \
  licenses/LICENSE.txt licenses/Qt-LGPL-3.0.txt licenses/MinGW-runtime.txt \
  manual/orvalenctl.txt manual/orvalen.txt; do
  [ -f "$app/$file" ] || fail "not installed: $file"
done
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
entry="$(KEY="$key" awk 'index($0, ENVIRON["KEY"]) == 1 { on = 1 } on && /^$/ { exit } on' "$prefix/user.reg")"
for value in '"DisplayName"="Orvalen"' "\"DisplayVersion\"=\"$version\"" \
  '"Publisher"="The Orvalen developers"' '"EstimatedSize"=dword:' '"UninstallString"='; do
  grep -qF "$value" <<<"$entry" || fail "the uninstall entry has no $value"
done

# The zip holds what the installer installed (its uninstaller aside).
diff <(cd "$app" && find . -type f ! -name uninstall.exe | sed 's|^\./||' | sort) \
  <(unzip -Z1 "$zip" | grep -v '/$' | sed 's|^[^/]*/||' | sort) >"$out/zip.diff" ||
  { fail "the zip and the installer hold other files"; cat "$out/zip.diff"; }

# A journal written since: the uninstaller keeps it, and removes everything else.
mkdir -p "$state"
echo '{"command":"z","result":"answered"}' >"$state/journal.jsonl"
wine "$app/uninstall.exe" /S || fail "the uninstaller ended with an error"
[ ! -e "$app" ] || fail "left after uninstalling: $(cd "$app" && find . | head -5 | tr '\n' ' ')"
[ ! -e "$shortcut" ] || fail "the shortcut is left"
grep -qF "$key" "$prefix/user.reg" && fail "the uninstall entry is left"
[ -s "$state/journal.jsonl" ] || fail "the journal was removed"
rm -rf "$state"

echo "installer: $(du -k "$setup" | cut -f1) KiB, zip $(du -k "$zip" | cut -f1) KiB," \
  "install and uninstall under Wine in $((SECONDS - start)) s"
[ $failures -eq 0 ] && echo "installer: all cases passed"
exit $((failures > 0))
