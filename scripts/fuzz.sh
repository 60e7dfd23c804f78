#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, clang, ASan+UBSan) and runs each one
# for a bounded time over its committed seeds plus a working corpus kept in
# build/fuzz/corpus/<target>. Any crash, leak, hang (a single input running
# over 10 s) or broken invariant fails the run; reproducers land in
# build/fuzz/artifacts/.
# Usage: scripts/fuzz.sh [target...]   (default: reply decoders events)
#   LMVX_FUZZ_SECONDS=N   seconds per target (default 20; 300 with LMVX_LONG=1)
# Writes build/fuzz/summary.txt: one line "target runs crashes" per target.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"

seconds="${LMVX_FUZZ_SECONDS:-}"
if [ -z "$seconds" ]; then
    if [ "${LMVX_LONG:-0}" = 1 ]; then seconds=300; else seconds=20; fi
fi
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(reply decoders events)

dir=build/fuzz
mkdir -p "$dir/artifacts"
if ! { cmake -S fuzz -B "$dir" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ &&
       cmake --build "$dir"; } >"$dir/build.log" 2>&1; then
    echo "fuzz: build failed (see $dir/build.log)" >&2
    grep -E 'error' "$dir/build.log" | head -20 >&2
    exit 2
fi

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
: >"$dir/summary.txt"
status=0
for t in "${targets[@]}"; do
    exe="$dir/fuzz_$t"
    if [ ! -x "$exe" ]; then echo "fuzz: no target $t" >&2; status=2; continue; fi
    mkdir -p "$dir/corpus/$t"
    log="$dir/$t.log"
    # Replies up to and past the 12048-byte capacity.
    "$exe" -max_total_time="$seconds" -timeout=10 -max_len=13000 -print_final_stats=1 \
        -artifact_prefix="$dir/artifacts/$t-" "$dir/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1
    rc=$?
    runs="$(grep -Eo 'Done [0-9]+ runs' "$log" | tail -1 | grep -Eo '[0-9]+')"
    [ -z "$runs" ] && runs="$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$' | tail -1)"
    [ -z "$runs" ] && runs=0
    crashes=0
    if [ $rc -ne 0 ]; then
        crashes=1
        status=1
        echo "fuzz: $t failed (exit $rc, see $log):" >&2
        grep -E 'ERROR|invariant broken|SUMMARY|Test unit written' "$log" | head -10 >&2
    fi
    echo "$t $runs $crashes" >>"$dir/summary.txt"
    echo "fuzz: $t: $runs inputs in ${seconds}s, $crashes crashes" >&2
done
exit $status
