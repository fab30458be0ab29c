#!/usr/bin/env bash
# Builds the tests of every thread that shares a server's connection under ThreadSanitizer
# and runs them: the sampler, its hand-over, the shared buffer and the connection lock; the
# replay, the blocking tree and the names of its wait resources, asked on a thread of their
# own; the window's recorder; the relay of an encrypted connection, whose thread carries
# every byte between the driver and the server; and the request's plan, read on a thread
# of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
build="${TSAN_BUILD_DIR:-build-tsan}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDERVEL_TSAN=ON >/dev/null
tests=(tst_sampler tst_dblayer tst_grid tst_mainform tst_replay tst_blockingview tst_recording
       tst_resourcenames tst_encryption tst_faults tst_planreader tst_planpage)
cmake --build "$build" -j2 --target "${tests[@]}"
# Qt (QtTest's watchdog thread too) and unixODBC are not built with ThreadSanitizer; their
# own internals are left out.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp"
ctest --test-dir "$build" --output-on-failure -R "^($(IFS='|'; echo "${tests[*]}"))\$"
