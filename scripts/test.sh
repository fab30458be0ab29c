#!/usr/bin/env bash
# Builds Dervel and runs every test. Installs missing Debian packages first.
# Environment: BUILD_DIR (default build), DERVEL_WERROR=ON to turn warnings into errors,
# DERVEL_ASAN=ON to build and test under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
build="${BUILD_DIR:-build}"
# Under the sanitizers the code is built with -O1 and line tables only: a stack trace still
# names file and line, and the build takes about half as long on two cores.
flags=()
if [ "${DERVEL_ASAN:-OFF}" = ON ]; then
  flags=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}" \
      -DDERVEL_WERROR="${DERVEL_WERROR:-OFF}" -DDERVEL_ASAN="${DERVEL_ASAN:-OFF}" "$@"
cmake --build "$build" -j2
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir "$build" --output-on-failure -j2
