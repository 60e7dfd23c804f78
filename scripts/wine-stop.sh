#!/usr/bin/env bash
# Ends the wineserver (and so every Wine process) of the project's prefix only
# (with LMVX_WINE_ARCH=arm64, of the ARM64 runner's prefix); other prefixes on
# the machine are left running.
set -eu
. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/env.sh"
if [ "${LMVX_WINE_ARCH:-}" = arm64 ]; then
    "$WINE" --wineserver -k 2>/dev/null || true
    exit 0
fi
ws="$(dirname "$WINE")/wineserver"
[ -x "$ws" ] || ws="$(command -v wineserver || echo wineserver)"
"$ws" -k 2>/dev/null || true
