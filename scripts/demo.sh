#!/usr/bin/env bash
# The demo: builds natively, starts lumivex-sim in a private runtime folder
# and runs a host session against it with lmvxctl.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"
. scripts/setup.sh >/dev/null
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >build/demo-configure.log 2>&1 ||
    { cat build/demo-configure.log; exit 1; }
cmake --build build/native -j "$(nproc)" --target lumivex-sim lmvxctl >build/demo-build.log 2>&1 ||
    { tail -40 build/demo-build.log; exit 1; }

export XDG_RUNTIME_DIR="$(mktemp -d)"
sim_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$XDG_RUNTIME_DIR"
}
trap cleanup EXIT
./build/native/lumivex-sim &
sim_pid=$!
for _ in $(seq 50); do
    ./build/native/lumivex-sim status 1 >/dev/null 2>&1 && break
    sleep 0.1
done

ctl() { echo "\$ lmvxctl $*"; ./build/native/lmvxctl "$@" || true; }
ctl check
ctl status
if ./build/native/lmvxctl --help 2>&1 | grep -q watch; then
    ctl platform
    ctl get contrast
    ctl set contrast 70
    ctl get contrast
    ctl list modes
    ctl features
    echo "\$ lmvxctl watch --for-ms 3000   (the simulator changes brightness meanwhile)"
    ./build/native/lmvxctl watch --for-ms 3000 &
    watch_pid=$!
    sleep 1.5
    ./build/native/lumivex-sim set 0x10 42 >/dev/null || ./build/native/lumivex-sim notify 0x10 42 >/dev/null || true
    wait "$watch_pid" || true
fi
echo "demo: done"
