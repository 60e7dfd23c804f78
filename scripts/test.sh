#!/usr/bin/env bash
# Runs every test and ends with one summary line of counts:
#   native    unit, POSIX backend, stress, lmvxctl and package tests (CTest)
#   asan      the same, built with AddressSanitizer and UBSan
#   tsan      the same, built with ThreadSanitizer
#   win-x64   the x64 DLL and lumivex-sim.exe, end to end under Wine
#   win-arm64 the same for the ARM64 DLL, under Debian's arm64 Wine emulated
#             by qemu-user (correctness only: emulated timing means nothing)
#   release   the Windows archive (scripts/release.sh, its own build trees)
#             and its checks: files, checksums, symbols, signing, the CMake
#             package's architecture, an MSVC-ABI host under Wine and ARM64
#   fuzz      each libFuzzer target for about 20 s (LMVX_LONG=1: 300 s); any
#             crash fails
#   valgrind  memcheck over the built library's sessions, notifications and
#             load/unload rounds, as one process
#   bench     the benchmarks once, short (scripts/bench.sh --short): passes
#             when they build, run and print their table
#   dotnet    the .NET binding on Mono against the simulator, and its NuGet
#             package with the Windows stages' DLLs (scripts/dotnet.sh)
# Usage: scripts/test.sh [stage...]   (default: all stages)
# Build trees live under build/<stage>; a rerun rebuilds only what changed.
# Each stage first installs what it uses (scripts/setup.sh PART...); a stage
# whose setup fails is reported broken, never skipped.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"
. scripts/env.sh

jobs="$(nproc)"
passed=0; failed=0; broken_stages=()
start_time=$SECONDS

# Adds the counts of a ctest log ("N% tests passed, F tests failed out of T").
count_ctest() {
    local log="$1" line total bad
    line="$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)"
    if [ -z "$line" ]; then return 1; fi
    bad="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")"
    total="$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")"
    passed=$((passed + total - bad)); failed=$((failed + bad))
}

# Installs the setup parts a stage uses; false (and the stage broken) when
# the machine refuses, with setup's message.
needs() {
    bash scripts/setup.sh "$@" && return 0
    echo "   setup ($*) failed" >&2; broken_stages+=("$stage"); return 1
}

# configure + build + ctest for one native flavour.
native_stage() {
    local name="$1"; shift
    local dir="build/$name" log="build/$name.log"
    mkdir -p build
    echo "== $name" >&2
    needs native || return
    if ! { cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" &&
           cmake --build "$dir" -j "$jobs"; } >"$log" 2>&1; then
        echo "   build failed (see $log):" >&2; grep -E 'error|Error' "$log" | head -20 >&2
        broken_stages+=("$name"); return
    fi
    (cd "$dir" && ctest -j "$jobs" --output-on-failure --timeout 300) >>"$log" 2>&1
    if ! count_ctest "$log"; then broken_stages+=("$name"); fi
    grep -E 'tests passed|\(Failed\)|\(Timeout\)|\(SEGFAULT\)|\(Subprocess aborted\)' "$log" >&2
}

native_build_flags=("${LMVX_NATIVE_FLAGS[@]}")
stage_native() { native_stage native "${native_build_flags[@]}"; }
# Sanitized builds at -O1 with line tables: about half the compile time of
# -O2 -g, and stack traces still name every function and line.
sanitizer_build_flags=("-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG")
stage_asan() {
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    native_stage asan "${sanitizer_build_flags[@]}" "-DCMAKE_C_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
        "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
        "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=address,undefined"
}
stage_tsan() {
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    # lmvxctl is left out: its one extra thread only bounds Start, and its
    # parser's compile time is a third of the stage's build.
    native_stage tsan -DLMVX_BUILD_CTL=OFF "${sanitizer_build_flags[@]}" "-DCMAKE_C_FLAGS=-fsanitize=thread" "-DCMAKE_CXX_FLAGS=-fsanitize=thread" \
        "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread" "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread"
}
# A failed build step with what it printed, so that a remote log says why.
show_build_failure() {
    grep -A 25 -m 1 '^FAILED:' "$1" | grep -v '^ninja: build stopped' | head -40 | sed 's/^/   /' >&2
}
stage_win-x64() {
    if [ ! -f scripts/test-windows.sh ]; then echo "== win-x64: not available" >&2; broken_stages+=(win-x64); return; fi
    local log="build/win-x64.log"; mkdir -p build
    echo "== win-x64" >&2
    needs zig wine || return
    bash scripts/test-windows.sh x64 >"$log" 2>&1
    count_ctest "$log" || broken_stages+=(win-x64)
    grep -E 'tests passed|\(Failed\)|\(Timeout\)|check:|^time:' "$log" | sed 's/^time:/   time:/' >&2
    show_build_failure "$log"
}
stage_win-arm64() {
    if [ ! -f scripts/test-windows.sh ]; then echo "== win-arm64: not available" >&2; broken_stages+=(win-arm64); return; fi
    local log="build/win-arm64.log"; mkdir -p build
    echo "== win-arm64" >&2
    # The ARM64 runner (setup part arm64) is prepared by test-windows.sh,
    # beside the build.
    needs zig || return
    bash scripts/test-windows.sh arm64 >"$log" 2>&1
    count_ctest "$log" || broken_stages+=(win-arm64)
    grep -E 'tests passed|\(Failed\)|\(Timeout\)|check:|^time:|^setup' "$log" | sed -E 's/^(time|setup)/   \1/' >&2
    show_build_failure "$log"
}

stage_release() {
    local log="build/release.log"; mkdir -p build
    echo "== release" >&2
    needs zig wine arm64 release || return
    if ! bash scripts/release.sh >"$log" 2>&1; then
        echo "   release.sh failed (see $log)" >&2; tail -5 "$log" | sed 's/^/   /' >&2; broken_stages+=(release); return
    fi
    bash tests/release/release_test.sh build/release >>"$log" 2>&1
    passed=$((passed + $(grep -c '^release: ok ' "$log"))); failed=$((failed + $(grep -c '^release: FAILED ' "$log")))
    grep -E '^release: (FAILED|lmvx|/)|^    ' "$log" | sed 's/^/   /' >&2
}

stage_fuzz() {
    local log="build/fuzz.log"; mkdir -p build
    echo "== fuzz" >&2
    needs native fuzz || return
    bash scripts/fuzz.sh >"$log" 2>&1
    if [ ! -s build/fuzz/summary.txt ]; then broken_stages+=(fuzz); grep -E 'fuzz:' "$log" >&2; return; fi
    local t runs crashes
    while read -r t runs crashes; do
        if [ "$crashes" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    done <build/fuzz/summary.txt
    grep -E '^fuzz:' "$log" >&2
}
stage_valgrind() {
    local dir="build/native" log="build/valgrind.log"; mkdir -p build
    echo "== valgrind" >&2
    needs native valgrind || return
    if ! { cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${native_build_flags[@]}" &&
           cmake --build "$dir" -j "$jobs" --target lmvx_stress_tests; } >"$log" 2>&1; then
        echo "   build failed (see $log)" >&2; broken_stages+=(valgrind); return
    fi
    # Sessions, notifications and load/unload rounds in one process: leaks of any of them add up.
    if timeout 600 valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
        --show-leak-kinds=definite,indirect "$dir/tests/stress/lmvx_stress_tests" \
        --gtest_filter='LoadUnload.*:Notifications.AWaiting*:Notifications.StopFrom*' >>"$log" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
    grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|All heap blocks|\[  (PASSED|FAILED)  \]' "$log" | sed 's/^/   /' >&2
}

stage_bench() {
    local log="build/bench.log"; mkdir -p build
    echo "== bench" >&2
    needs native bench || return
    if bash scripts/bench.sh --short >"$log" 2>&1 && grep -qE '^Figure +Value +Target +Met' "$log"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1)); grep -E 'bench:|error' "$log" | head -10 | sed 's/^/   /' >&2
    fi
    grep -E ' NO$' "$log" | sed 's/^/   target missed: /' >&2
}

stage_dotnet() {
    local log="build/dotnet.log" line; mkdir -p build
    echo "== dotnet" >&2
    bash scripts/dotnet.sh >"$log" 2>&1
    line="$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -1)"
    if [ -z "$line" ]; then broken_stages+=(dotnet); tail -5 "$log" | sed 's/^/   /' >&2; return; fi
    passed=$((passed + ${line%% *})); line="${line#* passed, }"; failed=$((failed + ${line%% *}))
    grep -E '^dotnet:|^[0-9]+\) ' "$log" | sed 's/^/   /' >&2
}

stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=(native asan tsan fuzz valgrind bench win-x64 win-arm64 release dotnet)
# On a new machine the ARM64 runner takes minutes to prepare, mostly waiting
# on downloads and emulated package scripts: it starts now, beside the other
# stages. The win-arm64 stage's own setup waits for it (setup's lock) and
# reports the outcome.
if [[ " ${stages[*]} " == *" win-arm64 "* ]]; then
    mkdir -p build
    bash scripts/setup.sh arm64 >build/setup-arm64-early.log 2>&1 &
fi
for stage in "${stages[@]}"; do
    stage_start=$SECONDS
    "stage_$stage"
    echo "   ($stage: $((SECONDS - stage_start)) s)" >&2
done

elapsed=$((SECONDS - start_time))
status=0
summary="tests: $passed passed, $failed failed"
if [ ${#broken_stages[@]} -gt 0 ]; then summary+=", stages broken: ${broken_stages[*]}"; status=1; fi
[ "$failed" -gt 0 ] && status=1
echo "$summary ($(printf '%dm%02ds' $((elapsed / 60)) $((elapsed % 60))))"
bash scripts/count-lines.sh
exit $status
