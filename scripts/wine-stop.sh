#!/usr/bin/env bash
# Ends the wineserver (and so every Wine process) of the project's prefix only;
# other prefixes on the machine are left running.
set -eu
. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/env.sh"
ws="$(dirname "$WINE")/wineserver"
[ -x "$ws" ] || ws="$(command -v wineserver || echo wineserver)"
"$ws" -k 2>/dev/null || true
