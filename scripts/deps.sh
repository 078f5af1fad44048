#!/usr/bin/env bash
# Installs what building and testing Orvalen needs on a Debian machine, when it is missing.
#   scripts/deps.sh            building, running and testing (scripts/test.sh)
#   scripts/deps.sh --run      building and running only (scripts/run.sh)
#   scripts/deps.sh PKG...     and these too (e.g. imagemagick for screenshots)
set -euo pipefail

run_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  fonts-liberation2 fonts-symbola fontconfig
  # Qt's own texts in Spanish (buttons of message boxes, edit-box menus)
  qt6-translations-l10n
  # lrelease, which compiles orvalenctl's Spanish messages at build time
  qt6-l10n-tools
)
test_packages=(
  libgtest-dev libgmock-dev
  xvfb xauth
  # the Debian package test: cpack's dependency computation, and the checks of what it holds
  dpkg-dev file desktop-file-utils appstream groff-base
  # the real-tty lane: a virtual machine with UARTs and a USB adapter (tests/realtty)
  qemu-system-x86 busybox-static cpio socat kmod
)
packages=("${run_packages[@]}")
if [ "${1:-}" = "--run" ]; then
  shift
else
  packages+=("${test_packages[@]}")
fi
# Extra packages a caller asks for.
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  # Said before sudo asks for a password, so that the user knows what the password is for.
  echo "Installing with apt-get${sudo:+ (through sudo)}: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
