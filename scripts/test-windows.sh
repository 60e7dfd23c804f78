#!/usr/bin/env bash
# Builds and tests one Windows target with the zig toolchains:
#   scripts/test-windows.sh x64     build/win-x64 under the project's Wine prefix
#   scripts/test-windows.sh arm64   build/win-arm64 under the ARM64 runner:
#                                   Debian's arm64 Wine emulated by qemu-user
#                                   (scripts/wine-arm64.sh), prepared beside
#                                   the build (scripts/setup.sh arm64)
# Each builds LMVX.dll, the tools and the tests, and runs every ctest entry:
# the static checks (machine type, export table == src/exports/LMVX.def, no
# Crypt32 import, system DLLs only, resources), the Windows tests (LMVX.dll
# against lumivex-sim.exe among them), the lmvxctl session and the package
# test; then the wineserver ends.
# No debug information: every Windows link strips it (the toolchain file).
# Both end with ctest's "N% tests passed, F tests failed out of T" line.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"
. scripts/env.sh

arch="${1:-}"
case "$arch" in
    x64) triple=x86_64 ;;
    arm64) triple=aarch64 ;;
    *) echo "usage: $0 x64|arm64" >&2; exit 2 ;;
esac
dir="build/win-$arch"
jobs="$(nproc)"

started=$SECONDS
if [ "$arch" = arm64 ]; then
    # The ARM64 runner is prepared while the build runs: on a new machine
    # each takes minutes, mostly waiting on different things.
    mkdir -p build
    ( bash scripts/setup.sh arm64; rc=$?; echo "setup arm64: $((SECONDS - started)) s"; exit $rc ) \
        >build/setup-arm64.log 2>&1 &
    setup_pid=$!
fi

echo "== configure $dir"
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/zig-$triple-windows-gnu.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLMVX_BUILD_TESTS=ON -DLMVX_BUILD_TOOLS=ON \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" || exit 1

echo "== build $dir"
cmake --build "$dir" -j "$jobs" || exit 1
build_time=$((SECONDS - started))

if [ "$arch" = arm64 ]; then
    wait "$setup_pid"; rc=$?
    cat build/setup-arm64.log
    [ "$rc" = 0 ] || { echo "setup: FAILED: the ARM64 runner is not available (above)"; exit 1; }
    # Every Wine program of this run (the tests' helpers too) uses the runner.
    export LMVX_WINE_ARCH=arm64
    . scripts/env.sh
    # Emulated programs run several times slower than on x64.
    export WINE_TIMEOUT=300
    # The root's prefix is the machine's: one run at a time across clones.
    lock="$LMVX_ARM64_ROOT.wine.lock"
else
    # One Wine run at a time on the project's prefix: its processes share
    # one session and so one service pipe name, and wine-stop ends them all.
    lock="$repo/.tools/wine-tests.lock"
fi
status=0
exec 9>"$lock"
flock 9
trap 'scripts/wine-stop.sh' EXIT
if [ "$arch" = arm64 ]; then
    # A persistent wineserver, and Wine's system processes (services, device
    # host, desktop) started by one program, all with their output on
    # /dev/null: each emulated program then starts in about a second instead
    # of several, and no process a test starts in passing holds that test's
    # captured output open until the server ends (minutes).
    "$WINE" --wineserver -p120 </dev/null >/dev/null 2>&1 &&
        "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 ||
        { echo "test-windows: the arm64 Wine did not start"; exit 1; }
fi
echo "== test $dir (under Wine)"
started=$SECONDS
(cd "$dir" && ctest -j 2 --output-on-failure --timeout 600) || status=1
echo "time: build $build_time s, tests $((SECONDS - started)) s"
exit $status
