#!/usr/bin/env bash
# Builds the serial port's tests with ThreadSanitizer and runs them a few times over.
#   scripts/tsan.sh              three passes
#   REPEAT=10 scripts/tsan.sh    more passes
# Qt itself is not built for the sanitizer; our hand-over marks its queue for it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build-tsan}"

cmake -S "$root" -B "$build" -G Ninja -DORVALEN_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target serial_tests
QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    "$build/tests/serial/serial_tests" --gtest_repeat="${REPEAT:-3}"
