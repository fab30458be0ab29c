#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while on its seed corpus.
# Usage: scripts/fuzz.sh [seconds per target]   (default 600; CI runs 20)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
seconds="${1:-600}"
build="${FUZZ_BUILD_DIR:-build-fuzz}"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDERVEL_FUZZ=ON >/dev/null
targets=(fuzz_connectionstring fuzz_regfile fuzz_serverreplies fuzz_snapshot)
[ -f fuzz/fuzz_tdspacket.cpp ] && targets+=(fuzz_tdspacket)
cmake --build "$build" -j2 --target "${targets[@]}"
for t in "${targets[@]}"; do
  name="${t#fuzz_}"
  work="$build/corpus/$name"
  mkdir -p "$work"
  echo "== $t for ${seconds}s"
  "$build/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 "$work" "fuzz/corpus/$name" \
    2>&1 | grep -E '^(stat::number_of_executed_units|stat::new_units_added|==|SUMMARY)|ERROR' || true
  # libFuzzer leaves crash-*, leak-*, timeout-* or oom-* files behind on a finding; fail on
  # any one of them (ls of several patterns fails when one of them matches nothing).
  findings=$(compgen -G "crash-*"; compgen -G "leak-*"; compgen -G "timeout-*"; compgen -G "oom-*") || true
  if [ -n "$findings" ]; then
    echo "$t found a failure:" >&2; echo "$findings" >&2; exit 1
  fi
done
