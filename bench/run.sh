#!/usr/bin/env bash
# Builds the project and runs every benchmark; each prints "name: value unit" lines.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
build="${BUILD_DIR:-build-bench}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] && "$b"
done
