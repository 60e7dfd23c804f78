#!/usr/bin/env bash
# The demo: builds natively, starts lumivex-sim in a private runtime folder
# and runs a host session against it with lmvxctl.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"
# The native part only; build/native is configured as the native test stage
# configures it, so that the tests reuse what the demo compiled.
. scripts/setup.sh native >/dev/null
mkdir -p build
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${LMVX_NATIVE_FLAGS[@]}" >build/demo-configure.log 2>&1 ||
    { cat build/demo-configure.log; exit 1; }
cmake --build build/native -j "$(nproc)" --target lumivex-sim lmvxctl >build/demo-build.log 2>&1 ||
    { tail -40 build/demo-build.log; exit 1; }

# Everything below runs in a private runtime folder: the simulator's pipe,
# its companion window and the library's notification window live there.
export XDG_RUNTIME_DIR="$(mktemp -d)"
sim=./build/native/lumivex-sim
ctl=./build/native/lmvxctl
log="$XDG_RUNTIME_DIR/sim.log"
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$XDG_RUNTIME_DIR"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
fail() { echo "demo: $*" >&2; exit 1; }

"$sim" --quiet --log >"$log" &
pids+=($!)
for _ in $(seq 50); do
    "$sim" requests >/dev/null 2>&1 && break
    sleep 0.1
done
"$sim" requests >/dev/null 2>&1 || fail "lumivex-sim did not start"

step() {
    echo
    echo "\$ lmvxctl $*"
    "$ctl" "$@" || fail "lmvxctl $* failed (exit status $?)"
}
step status
step get
step list
step mode get
step set contrast 70
step get contrast
step --json get contrast
step features

# A change made on the monitor's side (through the simulator's control
# interface) reaches the host as events; watch reads each value back.
echo
echo "\$ lmvxctl watch --for-ms 2500    (meanwhile: lumivex-sim set 0x12 35; lumivex-sim set 0x14 0x08)"
sessions="$(grep -c polling-category-5 "$log" || true)"
"$ctl" watch --for-ms 2500 &
watch_pid=$!
pids+=("$watch_pid")
for _ in $(seq 100); do
    [ "$(grep -c polling-category-5 "$log" || true)" -gt "$sessions" ] && break
    sleep 0.05
done
"$sim" set 0x12 35 >/dev/null || fail "lumivex-sim set failed"
"$sim" set 0x14 0x08 >/dev/null || fail "lumivex-sim set failed"
wait "$watch_pid" || fail "lmvxctl watch failed"

echo
echo "The simulator's log of the contrast change:"
grep "set-vcp vcp=0x12" "$log" || fail "the simulator saw no contrast change"
echo "lumivex-sim served $("$sim" requests) requests"
echo "demo: done"
