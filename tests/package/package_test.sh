#!/usr/bin/env bash
# Installs a built tree into a fresh prefix and uses it as a host would.
#   package_test.sh linux   C_COMPILER BUILD SOURCE VERSION LIBDIR GENERATOR
#   package_test.sh windows TOOLCHAIN  BUILD SOURCE VERSION LIBDIR GENERATOR [EMULATOR]
# The installed files are exactly the expected ones (the header the source's
# with the version filled in); examples/host builds against the installed package alone (and
# on Linux with pkg-config's flags too) and runs a session against the
# installed lumivex-sim; on Windows it runs only under an EMULATOR.
set -uo pipefail
mode="$1" tool="$2" build="$3" src="$4" version="$5" libdir="$6" gen="$7" emu="${8:-}"
tmp="$(mktemp -d)" prefix="$tmp/prefix" cm="$libdir/cmake/lmvx" sim_pid=""
# Under an emulator the simulator is a grandchild: its launcher's children are ended too.
trap '[ -n "$sim_pid" ] && kill $(pgrep -P "$sim_pid") "$sim_pid" 2>/dev/null; wait; rm -rf "$tmp"' EXIT
fail() { echo "package: FAILED: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "install"; }
have="$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||; s|lmvxTargets-[a-z]*\.cmake$|lmvxTargets-CONFIG.cmake|' | sort)"
want="include/lmvx.h $cm/lmvxConfig.cmake $cm/lmvxConfigVersion.cmake $cm/lmvxTargets-CONFIG.cmake $cm/lmvxTargets.cmake"
if [ "$mode" = linux ]; then
    want+=" bin/lmvxctl bin/lumivex-sim $libdir/liblmvx.so $libdir/liblmvx.so.1 $libdir/liblmvx.so.$version $libdir/pkgconfig/lmvx.pc"
    cfg=(-DCMAKE_C_COMPILER="$tool" -DCMAKE_PREFIX_PATH="$prefix")
    exe="$tmp/host/lmvx-host" sim="$prefix/bin/lumivex-sim"
else
    want+=" bin/LMVX.dll bin/lmvxctl.exe bin/lumivex-sim.exe $libdir/LMVX.lib $libdir/libLMVX.dll.a $libdir/LMVX.def"
    # The toolchain file confines package searches to its own root: name the package.
    cfg=(-DCMAKE_TOOLCHAIN_FILE="$tool" -Dlmvx_DIR="$prefix/$cm")
    exe="$tmp/host/lmvx-host.exe" sim="$tmp/host/lumivex-sim.exe"
fi
want="$(tr ' ' '\n' <<<"$want" | sort)"
[ "$have" = "$want" ] || { diff <(echo "$want") <(echo "$have"); fail "installed files differ"; }
IFS=. read -r major minor patch <<<"$version"
sed -e "s/@PROJECT_VERSION_MAJOR@/$major/" -e "s/@PROJECT_VERSION_MINOR@/$minor/" -e "s/@PROJECT_VERSION_PATCH@/$patch/" \
    "$src/include/lmvx.h" | cmp -s - "$prefix/include/lmvx.h" || fail "installed lmvx.h is not include/lmvx.h of version $version"
[ "$mode" = windows ] || readelf -d "$prefix/$libdir/liblmvx.so.$version" | grep -q 'SONAME.*\[liblmvx\.so\.1\]' || fail "soname"
[ "$mode" = windows ] || [ "$(readlink "$prefix/$libdir/liblmvx.so")$(readlink "$prefix/$libdir/liblmvx.so.1")" = "liblmvx.so.1liblmvx.so.$version" ] || fail "links"
[ "$mode" = windows ] || [ "$("$prefix/bin/lmvxctl" --version)" = "lmvxctl $version" ] || fail "lmvxctl --version"

flags="-Wall -Wextra -Wpedantic -Werror"
cmake -S "$src/examples/host" -B "$tmp/host" -G "$gen" -DCMAKE_BUILD_TYPE=Release "${cfg[@]}" -DCMAKE_C_FLAGS="$flags" \
    >"$tmp/host.log" 2>&1 && cmake --build "$tmp/host" >>"$tmp/host.log" 2>&1 || { cat "$tmp/host.log"; fail "examples/host build"; }
[ "$mode" = linux ] || [ -n "$emu" ] || { echo "package: ok (installed, lmvx-host.exe built)"; exit 0; }
[ "$mode" = linux ] || cp "$prefix/bin/lumivex-sim.exe" "$tmp/host/"

# One session of the host against the installed simulator.
export XDG_RUNTIME_DIR="$tmp/run"; mkdir -m 700 "$XDG_RUNTIME_DIR"
$emu "$sim" --run-ms 60000 >"$tmp/sim.out" 2>&1 & sim_pid=$!
for _ in $(seq 300); do grep -q serving "$tmp/sim.out" && break; sleep 0.1; done
expected="service: ready status: stopped session: started status: connected brightness: 75 contrast: 50"
run_host() {
    "$@" 0 >"$tmp/run.out" 2>&1 || { cat "$tmp/run.out"; fail "$* exited $?"; }
    [ "$(head -6 "$tmp/run.out" | tr -d '\r' | tr '\n' ' ')" = "$expected " ] || { cat "$tmp/run.out"; fail "$* output"; }
}
run_host $emu "$exe"
if [ "$mode" = linux ]; then
    # shellcheck disable=SC2046
    cc -std=c11 $flags "$src/examples/host/host.c" $(PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" pkg-config --cflags --libs lmvx) -Wl,-rpath,"$prefix/$libdir" -o "$tmp/host-pc" || fail "cc with pkg-config's flags"
    run_host "$tmp/host-pc"
fi
echo "package: ok (installed, hosts built and ran)"
