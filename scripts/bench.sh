#!/usr/bin/env bash
# Builds and runs the benchmarks (bench/): each run is one process that
# prints Google Benchmark's output and then one summary table of figures,
# targets and whether each was met.
#   scripts/bench.sh           native (build/bench-native), then the x64
#                              build under Wine (build/bench-win-x64)
#   scripts/bench.sh --short   native only, minimal iterations (a few seconds)
# Figures taken on a loaded machine are noisy; targets missed are reported in
# the table and do not fail the run. Exits non-zero when a build fails or a
# benchmark could not measure its figure.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"
. scripts/env.sh

short=0
for arg in "$@"; do
    case "$arg" in
        --short) short=1 ;;
        *) echo "usage: $0 [--short]" >&2; exit 2 ;;
    esac
done
jobs=2

status=0
native() {
    local dir=build/bench-native
    echo "== bench: native ($dir)" >&2
    if ! { cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLMVX_BUILD_BENCH=ON >/dev/null &&
           cmake --build "$dir" -j "$jobs" --target lmvx_bench >/dev/null; }; then
        echo "bench: native build failed" >&2; status=1; return
    fi
    local args=()
    [ "$short" = 1 ] && args+=(--short)
    "$dir/bench/lmvx_bench" "${args[@]}" || status=1
}

windows() {
    local dir=build/bench-win-x64 source="$repo/.tools/src/benchmark-1.7.1"
    echo "== bench: x64 under Wine ($dir)" >&2
    if [ ! -f "$source/CMakeLists.txt" ]; then
        echo "bench: no Google Benchmark source in $source (run scripts/setup.sh)" >&2; status=1; return
    fi
    if ! { cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/zig-x86_64-windows-gnu.cmake" \
               -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLMVX_BUILD_TESTS=OFF -DLMVX_BUILD_TOOLS=ON \
               -DLMVX_BUILD_BENCH=ON -DLMVX_BENCHMARK_SOURCE_DIR="$source" >/dev/null &&
           cmake --build "$dir" -j "$jobs" --target lmvx_bench; } >"build/bench-win-x64.log" 2>&1; then
        echo "bench: Windows build failed (see build/bench-win-x64.log)" >&2
        grep -E 'error' build/bench-win-x64.log | head -20 >&2
        status=1; return
    fi
    # One Wine run at a time on the project's prefix (see test-windows.sh).
    exec 9>"$repo/.tools/wine-tests.lock"
    flock 9
    WINE_TIMEOUT=600 scripts/wine-run.sh "$dir/bench/lmvx_bench.exe" || status=1
    scripts/wine-stop.sh
    flock -u 9
    exec 9>&-
}

native
[ "$short" = 1 ] || windows
exit $status
