#!/usr/bin/env bash
# Builds and runs the benchmarks (bench/): each run is one process that
# prints Google Benchmark's output and then one summary table of figures,
# targets and whether each was met.
#   scripts/bench.sh           native (build/bench-native), then the x64
#                              build under Wine (build/bench-win-x64), then
#                              the ARM64 build under the ARM64 runner
#                              (build/bench-win-arm64)
#   scripts/bench.sh --short   native only, minimal iterations (a few seconds)
# Figures taken on a loaded machine are noisy; targets missed are reported in
# the table and do not fail the run. The ARM64 figures come from an emulated
# processor: they show that the benchmarks run correctly, not ARM64 speed. Exits non-zero when a build fails or a
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
parts=(native bench)
[ "$short" = 1 ] || parts+=(zig wine bench-windows arm64)
. scripts/setup.sh "${parts[@]}" || { echo "bench: setup failed" >&2; exit 1; }

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

# windows x64|arm64: the benchmarks of one Windows target under its Wine.
windows() {
    local arch="$1" triple=x86_64 lock="$repo/.tools/wine-tests.lock" runner="Wine"
    local dir="build/bench-win-$arch" source="$repo/.tools/src/benchmark-1.7.1"
    if [ "$arch" = arm64 ]; then
        triple=aarch64 runner="the ARM64 runner (emulated: correctness, not speed)"
    fi
    echo "== bench: $arch under $runner ($dir)" >&2
    if [ ! -f "$source/CMakeLists.txt" ]; then
        echo "bench: no Google Benchmark source in $source (run scripts/setup.sh bench-windows)" >&2; status=1; return
    fi
    if ! { cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/zig-$triple-windows-gnu.cmake" \
               -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLMVX_BUILD_TESTS=OFF -DLMVX_BUILD_TOOLS=ON \
               -DLMVX_BUILD_BENCH=ON -DLMVX_BENCHMARK_SOURCE_DIR="$source" >/dev/null &&
           cmake --build "$dir" -j "$jobs" --target lmvx_bench; } >"build/bench-win-$arch.log" 2>&1; then
        echo "bench: Windows $arch build failed (see build/bench-win-$arch.log)" >&2
        grep -E 'error' "build/bench-win-$arch.log" | head -20 >&2
        status=1; return
    fi
    (
        if [ "$arch" = arm64 ]; then
            export LMVX_WINE_ARCH=arm64
            . scripts/env.sh
            lock="$LMVX_ARM64_ROOT.wine.lock"
        fi
        # One Wine run at a time on a prefix (see test-windows.sh).
        exec 9>"$lock"
        flock 9
        WINE_TIMEOUT=900 scripts/wine-run.sh "$dir/bench/lmvx_bench.exe"
        rc=$?
        scripts/wine-stop.sh
        exit $rc
    ) || status=1
}

native
if [ "$short" = 0 ]; then
    windows x64
    windows arm64
fi
exit $status
