#!/usr/bin/env bash
# Builds the fuzz targets with clang under AddressSanitizer and UndefinedBehaviorSanitizer
# and runs each for a bounded time from its starting corpus.
#
# Usage: tests/fuzz/run.sh [SECONDS [TARGET...]]
#   SECONDS  time for each target (default 20)
#   TARGET   e.g. player reply_parser (default: every target)
# The build is in build-fuzz/ (or $PIXBAR_FUZZ_BUILD). Inputs found on the way are kept in
# build-fuzz/corpus/TARGET and reused by the next run; the starting inputs in tests/fuzz/corpus/ are
# never changed. A finding is printed in hex, saved in build-fuzz/findings/, and the script
# fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${PIXBAR_FUZZ_BUILD:-$root/build-fuzz}
seconds=${1:-20}
[ $# -gt 0 ] && shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for inputs in "$here"/corpus/*/; do targets+=("$(basename "$inputs")"); done
fi

flags="-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined"
flags+=" -fno-sanitize-recover=undefined"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE= -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DPIXBAR_FUZZ=ON -DPIXBAR_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/findings"
failed=()
for t in "${targets[@]}"; do
    work="$build/corpus/$t"
    mkdir -p "$work"
    echo "== fuzz_$t: ${seconds}s"
    log="$build/findings/$t.log"
    rm -f "$build/findings/$t-"*
    if "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/findings/$t-" \
        "$work" "$here/corpus/$t" >"$log" 2>&1; then
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^#[0-9]+ *DONE' "$log" || true
        echo "corpus: $(find "$work" "$here/corpus/$t" -type f | wc -l) inputs"
    else
        # The input first (its first 1 KiB), the reason last, where a cut log still shows it.
        for finding in "$build/findings/$t-"*; do
            [ -f "$finding" ] || continue
            echo "-- input of $(basename "$finding"), $(stat -c %s "$finding") bytes (hex):"
            od -An -tx1 -v -N 1024 "$finding"
        done
        grep -v '^#[0-9]' "$log" | tail -n 40
        failed+=("$t")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found faults in: ${failed[*]}" >&2
    exit 1
fi
