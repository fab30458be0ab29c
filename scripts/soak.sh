#!/usr/bin/env bash
# The soak: Dervel under AddressSanitizer and UndefinedBehaviorSanitizer samples the demo
# server at "0 с" while a script works the grid. Usage: scripts/soak.sh [seconds] (600).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
seconds="${1:-600}"
build="${SOAK_BUILD_DIR:-build-ci}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDERVEL_ASAN=ON >/dev/null
cmake --build "$build" -j2 --target dervel_soak dervel-testserver
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
QT_QPA_PLATFORM=offscreen "$build/tools/dervel_soak" "$seconds" "$build/testserver/dervel-testserver"
