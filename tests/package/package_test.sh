#!/usr/bin/env bash
# Installs a built tree into a fresh prefix and uses it as a host would.
#   package_test.sh linux   BUILD SOURCE VERSION LIBDIR C_COMPILER GENERATOR
#   package_test.sh windows BUILD SOURCE VERSION LIBDIR TOOLCHAIN GENERATOR [EMULATOR]
# linux: the installed files are exactly the expected ones (soname links,
# header equal to the source's, no tests), examples/host builds with
# find_package(lmvx) and runs against the installed lumivex-sim with the
# expected output, pkg-config gives flags that build and run it too, the
# package's version file refuses another major version.
# windows: the same files for a DLL, examples/host cross-built against the
# import library; with EMULATOR (x64 under Wine) it runs once against the sim.
set -uo pipefail
mode="$1" build="$2" src="$3" version="$4" libdir="$5" tool="$6" gen="$7" emu="${8:-}"
tmp="$(mktemp -d)"
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        # Under an emulator the simulator is a grandchild: end the launcher's children too.
        kill $(pgrep -P "$sim_pid") "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "package: FAILED: $*"; exit 1; }
prefix="$tmp/prefix"

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "install"; }

# The installed files, the per-configuration targets file named by its pattern.
have="$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||; s|lmvxTargets-[a-z]*\.cmake$|lmvxTargets-CONFIG.cmake|' | sort)"
cm="$libdir/cmake/lmvx"
if [ "$mode" = linux ]; then
    want="bin/lmvxctl bin/lumivex-sim include/lmvx.h $libdir/liblmvx.so $libdir/liblmvx.so.1 $libdir/liblmvx.so.$version
          $cm/lmvxConfig.cmake $cm/lmvxConfigVersion.cmake $cm/lmvxTargets-CONFIG.cmake $cm/lmvxTargets.cmake
          $libdir/pkgconfig/lmvx.pc"
else
    want="bin/LMVX.dll bin/lmvxctl.exe bin/lumivex-sim.exe include/lmvx.h $libdir/LMVX.dll.a $libdir/LMVX.def
          $cm/lmvxConfig.cmake $cm/lmvxConfigVersion.cmake $cm/lmvxTargets-CONFIG.cmake $cm/lmvxTargets.cmake"
fi
want="$(tr -s ' \n' '\n' <<<"$want" | sed '/^$/d' | sort)"
if [ "$have" != "$want" ]; then
    diff <(echo "$want") <(echo "$have") | sed -n 's/^</  missing: /p; s/^>/  extra:   /p'
    fail "installed files differ"
fi
cmp -s "$prefix/include/lmvx.h" "$src/include/lmvx.h" || fail "installed lmvx.h differs from include/lmvx.h"

if [ "$mode" = linux ]; then
    [ "$(readlink "$prefix/$libdir/liblmvx.so")" = liblmvx.so.1 ] || fail "liblmvx.so does not point to liblmvx.so.1"
    [ "$(readlink "$prefix/$libdir/liblmvx.so.1")" = "liblmvx.so.$version" ] || fail "liblmvx.so.1 does not point to liblmvx.so.$version"
    soname="$(readelf -d "$prefix/$libdir/liblmvx.so.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')"
    [ "$soname" = liblmvx.so.1 ] || fail "soname '$soname', expected liblmvx.so.1"
else
    cmp -s "$prefix/$libdir/LMVX.def" "$src/src/exports/LMVX.def" || fail "installed LMVX.def differs"
fi

# The version file: this major version only.
mkdir -p "$tmp/probe"
cat >"$tmp/probe/CMakeLists.txt" <<'PROBE'
cmake_minimum_required(VERSION 3.21)
project(probe LANGUAGES NONE)
find_package(lmvx ${WANT} REQUIRED)
if(NOT TARGET lmvx::lmvx)
  message(FATAL_ERROR "no target lmvx::lmvx")
endif()
message(STATUS "lmvx found: ${lmvx_VERSION}")
PROBE
probe() { cmake -S "$tmp/probe" -B "$tmp/probe-$1" -Dlmvx_DIR="$prefix/$cm" -DWANT="$1" >"$tmp/probe-$1.log" 2>&1; }
probe "$version" && grep -q "lmvx found: $version" "$tmp/probe-$version.log" ||
    { cat "$tmp/probe-$version.log"; fail "find_package(lmvx $version)"; }
major="${version%%.*}"
for other in "$((major + 1)).0" "$((major - 1)).9"; do
    probe "$other" && fail "find_package(lmvx $other) accepted version $version"
done

# examples/host against the installed package only.
flags="-Wall -Wextra -Wpedantic -Werror"
if [ "$mode" = linux ]; then
    cfg=(-DCMAKE_C_COMPILER="$tool" -DCMAKE_PREFIX_PATH="$prefix")
else
    # The toolchain file confines package searches to its own root: name the package.
    cfg=(-DCMAKE_TOOLCHAIN_FILE="$tool" -Dlmvx_DIR="$prefix/$cm")
fi
cmake -S "$src/examples/host" -B "$tmp/host" -G "$gen" -DCMAKE_BUILD_TYPE=Release "${cfg[@]}" \
    -DCMAKE_C_FLAGS="$flags" >"$tmp/host.log" 2>&1 &&
    cmake --build "$tmp/host" >>"$tmp/host.log" 2>&1 || { cat "$tmp/host.log"; fail "examples/host build"; }

expected_start="service: ready
status: stopped
session: started
status: connected
brightness: 75
contrast: 50"

# Waits (up to 30 s) until FILE holds a line matching PATTERN.
wait_for() {
    for _ in $(seq 300); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
    return 1
}

if [ "$mode" = linux ]; then
    export XDG_RUNTIME_DIR="$tmp/run"; mkdir -m 700 "$XDG_RUNTIME_DIR"
    "$prefix/bin/lumivex-sim" --run-ms 60000 >"$tmp/sim.out" 2>&1 &
    sim_pid=$!
    wait_for "$tmp/sim.out" serving || fail "lumivex-sim did not start"
    "$prefix/bin/lmvxctl" check >"$tmp/ctl.out" 2>&1 || { cat "$tmp/ctl.out"; fail "installed lmvxctl"; }

    "$tmp/host/lmvx-host" 2 >"$tmp/host.out" 2>&1 &
    host_pid=$!
    wait_for "$tmp/host.out" '^waiting' || fail "lmvx-host did not reach its session"
    "$prefix/bin/lumivex-sim" set 0x10 42 >/dev/null && "$prefix/bin/lumivex-sim" set 0x12 60 >/dev/null ||
        fail "lumivex-sim set"
    wait "$host_pid" || { cat "$tmp/host.out"; fail "lmvx-host exited $?"; }
    expected="$expected_start
waiting 2 s for events
event: brightness 42
event: contrast 60
session: stopped
status: stopped"
    if [ "$(cat "$tmp/host.out")" != "$expected" ]; then
        diff <(echo "$expected") "$tmp/host.out"; fail "lmvx-host output"
    fi

    # pkg-config: flags from the installed lmvx.pc alone.
    export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
    [ "$(pkg-config --modversion lmvx)" = "$version" ] || fail "pkg-config --modversion"
    pc="$(pkg-config --cflags --libs lmvx)" || fail "pkg-config --cflags --libs lmvx"
    # shellcheck disable=SC2086
    cc -std=c11 $flags "$src/examples/host/host.c" $pc -Wl,-rpath,"$prefix/$libdir" -o "$tmp/host-pc" 2>"$tmp/cc.log" ||
        { cat "$tmp/cc.log"; fail "cc with pkg-config flags ($pc)"; }
    "$tmp/host-pc" 0 >"$tmp/host-pc.out" 2>&1 || { cat "$tmp/host-pc.out"; fail "pkg-config build of lmvx-host"; }
    # The simulator keeps the values set above.
    [ "$(head -6 "$tmp/host-pc.out")" = "$(sed 's/^brightness: 75$/brightness: 42/; s/^contrast: 50$/contrast: 60/' <<<"$expected_start")" ] ||
        { cat "$tmp/host-pc.out"; fail "pkg-config build output"; }
    echo "package: ok (installed, find_package and pkg-config hosts ran)"
else
    exe="$tmp/host/lmvx-host.exe"
    [ -f "$exe" ] && [ -f "$tmp/host/LMVX.dll" ] || fail "lmvx-host.exe or its LMVX.dll missing"
    readobj="$(command -v llvm-readobj || command -v llvm-readobj-14)"
    "$readobj" --coff-imports "$exe" | grep -qi 'Name: LMVX.dll' || fail "lmvx-host.exe does not import LMVX.dll"
    if [ -n "$emu" ]; then
        cp "$prefix/bin/lumivex-sim.exe" "$tmp/host/"
        "$emu" "$tmp/host/lumivex-sim.exe" --run-ms 60000 >"$tmp/sim.out" 2>&1 &
        sim_pid=$!
        wait_for "$tmp/sim.out" serving || fail "lumivex-sim.exe did not start"
        "$emu" "$exe" 0 >"$tmp/host.out" 2>&1 || { cat "$tmp/host.out"; fail "lmvx-host.exe under Wine"; }
        [ "$(head -6 "$tmp/host.out" | tr -d '\r')" = "$expected_start" ] || { cat "$tmp/host.out"; fail "lmvx-host.exe output"; }
        echo "package: ok (installed, lmvx-host.exe built and ran)"
    else
        echo "package: ok (installed, lmvx-host.exe built)"
    fi
fi
