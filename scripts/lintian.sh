#!/usr/bin/env bash
# Builds the Debian package and runs lintian on it; fails on any error or warning. Slower than the
# package test of the suite (about 15 s), so it is a script of its own.
#   scripts/lintian.sh            uses build/ (configured and built as scripts/test.sh does)
#   BUILD_DIR=... scripts/lintian.sh
# Accepted, informational only: hardening-no-fortify-functions (the build keeps the compiler's
# default of no _FORTIFY_SOURCE) and binary-has-unneeded-section .comment (CPack strips with
# strip's defaults, which keep the compiler's version note).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

"$root/scripts/deps.sh" lintian
cmake --build "$build"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb="$(ls "$out"/orvalen_*.deb)"
echo "lintian $(basename "$deb")"
lintian --display-info --fail-on error,warning "$deb"
echo "lintian: no errors, no warnings"
