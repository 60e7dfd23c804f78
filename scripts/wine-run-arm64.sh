#!/usr/bin/env bash
# scripts/wine-run.sh for ARM64 programs: the same, under the ARM64 runner
# (scripts/wine-arm64.sh). The ARM64 toolchain file's test launcher.
export LMVX_WINE_ARCH=arm64
exec "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine-run.sh" "$@"
