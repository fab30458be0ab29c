#!/usr/bin/env bash
# Builds Dervel and runs every test. Installs missing Debian packages first.
# Environment: BUILD_DIR (default build), DERVEL_WERROR=ON to turn warnings into errors,
# DERVEL_ASAN=ON to build and test under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DDERVEL_WERROR="${DERVEL_WERROR:-OFF}" -DDERVEL_ASAN="${DERVEL_ASAN:-OFF}" "$@"
cmake --build "$build" -j2
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir "$build" --output-on-failure -j2
