#!/usr/bin/env bash
# Builds the project and runs every benchmark; each prints "name: value unit" lines.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
build="${BUILD_DIR:-build-bench}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2
# Only the programs: the folder also holds CMake's bench_*_autogen folders, which are
# "executable" too.
for b in "$build"/bench/bench_*; do
  if [ -f "$b" ] && [ -x "$b" ]; then
    "$b"
  fi
done
