#!/usr/bin/env bash
# lmvxctl.exe reads every control of lumivex-sim.exe under Wine:
#   wine_session.sh EMULATOR SIM.EXE CTL.EXE
# EMULATOR is scripts/wine-run.sh. The simulator runs under Wine directly, so
# that it can be ended by its process id on every path.
set -u
. "$(dirname "$1")/env.sh"
WINEDLLOVERRIDES="mscoree,mshtml=" timeout --kill-after=5 60 "$WINE" "$2" --quiet --value 0x12=63 --run-ms 50000 &
trap 'kill $! 2>/dev/null; wait' EXIT
out="$(WINE_TIMEOUT=60 "$1" "$3" --wait-ms 30000 --json get 2>&1)"
echo "lmvxctl.exe: exit $?: $out"
grep -qxF '{"brightness":75,"contrast":63,"white_point":5,"red_gain":50,"green_gain":50,"blue_gain":50,"input_source":15}' <<<"${out//$'\r'/}"
