# Source this file: exports the tool paths that the build and test scripts use.
#   ZIG        zig 0.11 binary (installed by scripts/setup.sh)
#   WINE       wine64 loader
#   WINEPREFIX the project's own headless prefix
#   WINEDEBUG  -all (Wine's diagnostics off)
_lmvx_repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ZIG="${ZIG:-$_lmvx_repo/.tools/zig}"
if [ -z "${WINE:-}" ]; then
    if [ -x /usr/lib/wine/wine64 ]; then WINE=/usr/lib/wine/wine64
    else WINE="$(command -v wine64 || echo wine64)"; fi
fi
export WINE
export WINEPREFIX="${WINEPREFIX:-$_lmvx_repo/.tools/wineprefix}"
export WINEDEBUG=-all
unset _lmvx_repo
