#!/usr/bin/env bash
# Builds the Debian package from a configured and built folder and checks what a distribution
# would: its name, its files, stripped programs, computed dependencies, compressed manual pages
# that render without warnings, and valid desktop entry and metainfo.
#   package.sh BUILD_DIR VERSION
set -uo pipefail
build="$1"
version="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

arch="$(dpkg --print-architecture)"
deb="$work/orvalen_${version}_${arch}.deb"
if ! (cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || [ ! -f "$deb" ]; then
  cat "$work/cpack.log"
  echo "FAIL: cpack did not produce $(basename "$deb")"
  exit 1
fi

files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)"
expected="$(sort <<EOL
usr/bin/orvalen
usr/bin/orvalen-printer-sim
usr/bin/orvalenctl
usr/lib/systemd/user/orvalen-daily-z.service
usr/lib/systemd/user/orvalen-daily-z.timer
usr/share/applications/org.orvalen.Orvalen.desktop
usr/share/bash-completion/completions/orvalenctl
usr/share/doc/orvalen/CHANGELOG.md
usr/share/doc/orvalen/changelog.gz
usr/share/doc/orvalen/copyright
usr/share/icons/hicolor/16x16/apps/orvalen.png
usr/share/icons/hicolor/32x32/apps/orvalen.png
usr/share/icons/hicolor/48x48/apps/orvalen.png
usr/share/icons/hicolor/64x64/apps/orvalen.png
usr/share/icons/hicolor/128x128/apps/orvalen.png
usr/share/icons/hicolor/256x256/apps/orvalen.png
usr/share/icons/hicolor/scalable/apps/orvalen.svg
usr/share/man/man1/orvalen-printer-sim.1.gz
usr/share/man/man1/orvalen.1.gz
usr/share/man/man1/orvalenctl.1.gz
usr/share/metainfo/org.orvalen.Orvalen.metainfo.xml
EOL
)"
[ "$files" = "$expected" ] || fail "file list differs:$(diff <(echo "$expected") <(echo "$files") | grep '^[<>]')"

dpkg-deb -x "$deb" "$work/root"
for program in orvalen orvalen-printer-sim orvalenctl; do
  file -b "$work/root/usr/bin/$program" | grep -q ', stripped' || fail "$program is not stripped"
done
depends="$(dpkg-deb -f "$deb" Depends)"
for library in libqt6widgets6 libqt6core6 libc6; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
"$work/root/usr/bin/orvalen" --version | grep -qx "orvalen $version" || fail "packaged orvalen --version"
"$work/root/usr/bin/orvalenctl" --version | grep -qx "orvalenctl $version" ||
  fail "packaged orvalenctl --version"

for page in orvalen orvalen-printer-sim orvalenctl; do
  gz="$work/root/usr/share/man/man1/$page.1.gz"
  # gzip -9n: no file name and no time stamp in the header, so the package is reproducible.
  [ "$(od -An -tx1 -j4 -N4 "$gz" | tr -d ' ')" = 00000000 ] || fail "$page.1.gz has a time stamp"
  warnings="$(zcat "$gz" | LC_ALL=C.UTF-8 groff -man -ww -z 2>&1)"
  [ -z "$warnings" ] || fail "$page(1) renders with warnings: $warnings"
done
zcat "$work/root/usr/share/doc/orvalen/changelog.gz" | head -1 | grep -q "^orvalen ($version) " ||
  fail "Debian changelog does not start with version $version"

desktop-file-validate "$work/root/usr/share/applications/org.orvalen.Orvalen.desktop" ||
  fail "desktop entry"
appstream="$(appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.orvalen.Orvalen.metainfo.xml" 2>&1)" ||
  fail "metainfo: $appstream"
grep -qE '^[EW]:' <<<"$appstream" && fail "metainfo has errors or warnings: $appstream"

if [ $failures -eq 0 ]; then
  echo "package $(basename "$deb"): all checks passed"
fi
exit $((failures > 0))
