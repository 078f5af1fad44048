#!/usr/bin/env bash
# Installs what building and testing Orvalen needs on a Debian machine, when it is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev
  fonts-liberation2 fonts-symbola fontconfig
  xvfb xauth
  # the Debian package test: cpack's dependency computation, and the checks of what it holds
  dpkg-dev file desktop-file-utils appstream groff-base
  # Qt's own texts in Spanish (buttons of message boxes, edit-box menus)
  qt6-translations-l10n
  # lrelease, which compiles orvalenctl's Spanish messages at build time
  qt6-l10n-tools
  # the real-tty lane: a virtual machine with UARTs and a USB adapter (tests/realtty)
  qemu-system-x86 busybox-static cpio socat kmod
)
# Extra packages a caller asks for (e.g. imagemagick for screenshots).
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
