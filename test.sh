#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test.
# With CI=true the build treats warnings as errors and the tests run a second
# time under AddressSanitizer and UndefinedBehaviorSanitizer, and every fuzz target runs
# for 20 seconds (tests/fuzz/run.sh).
set -euo pipefail
cd "$(dirname "$0")"

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

scripts/setup.sh build -DPIXBAR_WERROR=$werror
export QT_QPA_PLATFORM=offscreen
(cd build && ctest --output-on-failure)

if [ "${CI:-}" = "true" ]; then
    scripts/setup.sh build-asan -DPIXBAR_WERROR=ON -DPIXBAR_SANITIZE=ON -DPIXBAR_BENCH=OFF \
        -DCMAKE_BUILD_TYPE=Debug
    export ASAN_OPTIONS=detect_leaks=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    (cd build-asan && ctest --output-on-failure)

    tests/fuzz/run.sh 20
fi
