#!/usr/bin/env bash
# Runs a Windows executable under the project's headless Wine prefix.
#   scripts/wine-run.sh EXE [ARGS...]
# The program's exit code is passed through; if it runs longer than
# WINE_TIMEOUT seconds (default 60) it is killed and the exit code is 124,
# as with timeout(1). With LMVX_WINE_ARCH=arm64 (scripts/wine-run-arm64.sh)
# the program runs under the ARM64 runner. Run scripts/setup.sh wine (or
# arm64) once first.
set -eu
if [ "$#" -lt 1 ]; then
    echo "usage: $0 EXE [ARGS...]" >&2
    exit 2
fi
. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/env.sh"
if [ -z "$WINE" ]; then
    echo "wine-run: no Wine on this machine; run scripts/setup.sh wine" >&2
    exit 2
fi
if [ ! -f "$WINEPREFIX/.lmvx-ready" ]; then
    echo "wine-run: prefix $WINEPREFIX not initialised; run scripts/setup.sh wine (arm64 for ARM64)" >&2
    exit 2
fi
# Headless: no display is used (the prefix has the null graphics driver);
# mscoree/mshtml are disabled so Wine never offers to install Mono/Gecko.
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
set +e
timeout --kill-after=5 "${WINE_TIMEOUT:-60}" "$WINE" "$@"
rc=$?
set -e
exit "$rc"
