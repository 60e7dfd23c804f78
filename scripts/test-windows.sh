#!/usr/bin/env bash
# Builds and tests one Windows target with the zig toolchains:
#   scripts/test-windows.sh x64     build/win-x64: LMVX.dll, the tools and the
#                                   tests; every test under Wine (ctest), then
#                                   the prefix's wineserver is ended
#   scripts/test-windows.sh arm64   build/win-arm64: LMVX.dll (and the tools
#                                   with LMVX_LONG=1); the static checks only
#                                   (ARM64 cannot run here): machine type,
#                                   export table == src/exports/LMVX.def, no
#                                   Crypt32 import, system DLLs only, resources
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

# The ARM64 tools need zig to build a whole C++ runtime for one more target
# (minutes on a new machine); the DLL needs only the C runtime.
tools=ON
[ "$arch" = arm64 ] && [ "${LMVX_LONG:-0}" != 1 ] && tools=OFF
# Without the tools nothing links libc++: CMake's checks then only compile,
# so that zig never builds libc++ for them.
checks=EXECUTABLE
[ "$tools" = OFF ] && checks=STATIC_LIBRARY

echo "== configure $dir"
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/zig-$triple-windows-gnu.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLMVX_BUILD_TESTS=ON -DLMVX_BUILD_TOOLS=$tools -DCMAKE_TRY_COMPILE_TARGET_TYPE=$checks \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" || exit 1

status=0
if [ "$arch" = x64 ]; then
    echo "== build $dir"
    cmake --build "$dir" -j "$jobs" || exit 1
    # One Wine run at a time on the project's prefix: its processes share
    # one session and so one service pipe name, and wine-stop ends them all.
    exec 9>"$repo/.tools/wine-tests.lock"
    flock 9
    echo "== test $dir (under Wine)"
    (cd "$dir" && ctest -j 2 --output-on-failure --timeout 600) || status=1
    scripts/wine-stop.sh
    flock -u 9
else
    # The programs are built but never run: only what the static checks read.
    echo "== build $dir"
    targets=(lmvx)
    [ "$tools" = ON ] && targets+=(lumivex-sim lmvxctl)
    cmake --build "$dir" -j "$jobs" --target "${targets[@]}" || exit 1
    echo "== static checks $dir"
    (cd "$dir" && ctest -L static --output-on-failure --timeout 120) || status=1
fi
exit $status
