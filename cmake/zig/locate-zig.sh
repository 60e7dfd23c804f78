# Sourced by the wrappers in this folder: sets ZIG to the zig 0.11 binary.
# Order: $ZIG from the environment if it is executable, else <repo>/.tools/zig
# (the link made by scripts/setup.sh).
if [ -z "${ZIG:-}" ] || [ ! -x "$ZIG" ]; then
    ZIG="$(cd "$(dirname "$0")/../.." && pwd)/.tools/zig"
fi
if [ ! -x "$ZIG" ]; then
    echo "zig not found (set ZIG or run scripts/setup.sh): $ZIG" >&2
    exit 127
fi
