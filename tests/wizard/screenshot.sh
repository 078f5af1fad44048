#!/bin/sh
# Shows the wizard with the main window's four pages in a real X window (Xvfb) and saves a
# picture of each page. Usage: screenshot.sh [build-dir] [output-dir]
set -eu
build=${1:-build}
out=${2:-/tmp/orvalen-wizard-shots}
cmake --build "$build" --target wizard_screenshot
mkdir -p "$out"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" "$build/tests/wizard/wizard_screenshot" "$out"
ls -l "$out"
