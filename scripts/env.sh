# Source this file: exports the tool paths that the build and test scripts use.
#   ZIG        zig 0.11 binary (installed by scripts/setup.sh zig)
#   WINE       wine64 loader
#   WINEPREFIX the project's own headless prefix
#   WINEDEBUG  -all (Wine's diagnostics off)
#   LMVX_ARM64_ROOT  the machine's arm64 Debian root (scripts/setup.sh arm64)
# and sets LMVX_NATIVE_FLAGS (below).
# With LMVX_WINE_ARCH=arm64, WINE and WINEPREFIX are the ARM64 runner's:
# scripts/wine-arm64.sh and the prefix inside that root.
_lmvx_repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ZIG="${ZIG:-$_lmvx_repo/.tools/zig}"
export LMVX_ARM64_ROOT="${LMVX_ARM64_ROOT:-/var/cache/lmvx/arm64-bookworm}"
if [ "${LMVX_WINE_ARCH:-}" = arm64 ]; then
    WINE="$_lmvx_repo/scripts/wine-arm64.sh"
    WINEPREFIX="$LMVX_ARM64_ROOT/root/.wine"
fi
# Resolved each time this file is sourced, never carried over from a guess: a
# script that sources it after setup.sh installed Wine finds it even when its
# parent sourced it before. An inherited WINE is kept only when it runs.
if [ -z "${WINE:-}" ] || ! [ -x "$WINE" ]; then
    if [ -x /usr/lib/wine/wine64 ]; then WINE=/usr/lib/wine/wine64
    else WINE="$(command -v wine64 || true)"; fi
fi
export WINE
export WINEPREFIX="${WINEPREFIX:-$_lmvx_repo/.tools/wineprefix}"
export WINEDEBUG=-all
# The native build's configuration (after -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo),
# one for the demo and the native stages, so that build/native is configured
# and compiled once. Line tables only: full debug information costs a sixth of
# the build. The benchmarks build in their own tree (scripts/bench.sh).
LMVX_NATIVE_FLAGS=("-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
                   -DLMVX_BUILD_BENCH=OFF)
unset _lmvx_repo
