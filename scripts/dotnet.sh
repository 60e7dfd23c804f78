#!/usr/bin/env bash
# The .NET binding, in build/dotnet/:
#   1. installs Mono and the package tools when missing (scripts/setup.sh dotnet);
#   2. builds bindings/dotnet (Lmvx.Net.dll for net472 and net8.0) and its tests with dotnet;
#   3. runs the tests against liblmvx.so (build/native) and lumivex-sim in a private
#      XDG_RUNTIME_DIR: net8.0 on CoreCLR (dotnet test), net472 on Mono (NUnit's console);
#   4. packs Lmvx.<version>.nupkg and .snupkg (version: the CMake project's) with LMVX.dll
#      from build/win-x64 and build/win-arm64 when the Windows stages built them, else from a
#      DLL-only build of its own, and liblmvx.so; packs again from a second tree and compares;
#   5. checks the package: its files, no two paths equal but for case, the metadata, the
#      strong names, the symbols;
#   6. builds programs of the package from a local folder feed: examples/dotnet/console
#      (net8.0) and package-tests/net48 for win-x64, win-arm64 and AnyCPU, and the WinForms
#      tray sample; runs the console one and the net48 one (on Mono) against the simulator.
# Restores only from the machine's configured NuGet sources and local folders.
# Ends with "N passed, N failed" (the tests of both runtimes and each check).
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"
. scripts/env.sh
out="$repo/build/dotnet"
mkdir -p "$out"
jobs="$(nproc)"
version="$(sed -nE 's/^project\(lmvx VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)"
commit="$(git rev-parse HEAD)"
# The package's file times: the commit's, so that two packs of one commit are identical.
export SOURCE_DATE_EPOCH="$(git log -1 --format=%ct)"
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1
die() { echo "dotnet: $*" >&2; echo "0 passed, 1 failed"; exit 1; }
passed=0 failed=0
check() {  # NAME COMMAND...: one counted check
    local name="$1"; shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "dotnet: $name FAILED" >&2; fi
}

bash scripts/setup.sh native dotnet >"$out/setup.log" 2>&1 || { cat "$out/setup.log" >&2; die "setup failed"; }

# ---- native library and simulator (the native stage's tree) ----------------
if [ ! -f build/native/build.ninja ]; then
    cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${LMVX_NATIVE_FLAGS[@]}" >"$out/native.log" 2>&1 ||
        die "configuring build/native failed (see $out/native.log)"
fi
cmake --build build/native -j "$jobs" --target lmvx lumivex-sim >>"$out/native.log" 2>&1 ||
    die "building liblmvx.so failed (see $out/native.log)"

# A Windows DLL from the Windows stage's tree, else from a tree that builds the DLL only.
windows_dll() {
    local arch="$1" triple dir="$repo/build/win-$1"
    [ "$arch" = x64 ] && triple=x86_64 || triple=aarch64
    if [ ! -f "$dir/build.ninja" ]; then
        dir="$out/win-$arch"
        bash scripts/setup.sh zig >>"$out/windows.log" 2>&1 || return 1
        [ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/zig-$triple-windows-gnu.cmake" \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLMVX_BUILD_TESTS=OFF -DLMVX_BUILD_TOOLS=OFF -DLMVX_BUILD_BENCH=OFF \
            -DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" \
            "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" >>"$out/windows.log" 2>&1 || return 1
    fi
    cmake --build "$dir" -j "$jobs" --target lmvx >>"$out/windows.log" 2>&1 && echo "$dir/LMVX.dll"
}
dll_x64="$(windows_dll x64)" || die "building LMVX.dll for x64 failed (see $out/windows.log)"
dll_arm64="$(windows_dll arm64)" || die "building LMVX.dll for arm64 failed (see $out/windows.log)"
mkdir -p "$out/native"
strip --strip-debug -o "$out/native/liblmvx.so" build/native/liblmvx.so

# ---- the binding and its tests -------------------------------------------------
native_props=(-p:LmvxCommit="$commit" -p:LmvxNativeWinX64="$dll_x64" -p:LmvxNativeWinArm64="$dll_arm64"
              -p:LmvxNativeLinuxX64="$out/native/liblmvx.so")
dotnet build bindings/dotnet/tests -c Release --artifacts-path "$out/artifacts" "${native_props[@]}" >"$out/build.log" 2>&1 ||
    { grep -E 'error' "$out/build.log" | sort -u >&2; die "building the binding and its tests failed (see $out/build.log)"; }
tests="$out/artifacts/bin/Lmvx.Net.Tests"

# ---- tests against the simulator, once per runtime ---------------------------------
run="$(mktemp -d)"
sim_pid=""
stop_sim() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null; sim_pid=""; }
cleanup() { stop_sim; rm -rf "$run"; }
trap cleanup EXIT
export XDG_RUNTIME_DIR="$run" LD_LIBRARY_PATH="$repo/build/native${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
start_sim() {
    stop_sim
    build/native/lumivex-sim --quiet --log --control 'autocolor 1' --control 'partition 1' --control 'layout 1 7' \
        --control 'schedule 1' --control 'times 1 2 3 4' --control 'schedule-mode 2' --control 'power 1' \
        --control 'hdr 1' --control 'features 0x2A' >"$run/sim.log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 100); do build/native/lumivex-sim requests >/dev/null 2>&1 && return; sleep 0.1; done
}
count() {  # RUNTIME TOTAL FAILED
    if [ -z "$2" ]; then failed=$((failed + 1)); echo "dotnet: $1: no test summary" >&2; return; fi
    passed=$((passed + $2 - $3)) failed=$((failed + $3))
    echo "dotnet: $1: $(($2 - $3)) passed, $3 failed" >&2
}

start_sim
timeout 600 dotnet test "$tests/release_net8.0/Lmvx.Net.Tests.dll" >"$out/tests-coreclr.log" 2>&1
summary="$(grep -oE 'Failed: +[0-9]+, Passed: +[0-9]+, Skipped: +[0-9]+, Total: +[0-9]+' "$out/tests-coreclr.log" | tail -1)"
read -r f_count t_count < <(sed -E 's/Failed: +([0-9]+).*Total: +([0-9]+)/\1 \2/' <<<"$summary")
count "CoreCLR (net8.0)" "${t_count:-}" "${f_count:-0}"
grep -E '^ +Failed |^ +Error Message:' -A2 "$out/tests-coreclr.log" | head -40 >&2

start_sim
runner="$(find "${NUGET_PACKAGES:-$HOME/.nuget/packages}/nunit.consolerunner/3.15.2/tools" -name nunit3-console.exe | head -1)"
(cd "$out" && timeout 600 mono "$runner" "$tests/release_net472/Lmvx.Net.Tests.dll" --inprocess --noresult --noheader) >"$out/tests-mono.log" 2>&1
summary="$(grep -E '^ +Test Count: ' "$out/tests-mono.log" | tail -1)"
read -r t_count f_count < <(sed -E 's/.*Test Count: ([0-9]+), Passed: [0-9]+, Failed: ([0-9]+).*/\1 \2/' <<<"$summary")
count "Mono (net472)" "${t_count:-}" "${f_count:-0}"
grep -E '^[0-9]+\) |^ +(Expected|But was)' "$out/tests-mono.log" | head -40 >&2

# ---- the package, twice from two trees --------------------------------------------
feed="$out/feed"
rm -rf "$feed" "$out/feed2"
dotnet pack bindings/dotnet/src -c Release --artifacts-path "$out/artifacts" -o "$feed" "${native_props[@]}" >"$out/pack.log" 2>&1 ||
    { grep -E 'error' "$out/pack.log" | sort -u >&2; die "dotnet pack failed (see $out/pack.log)"; }
rm -rf "$out/tree2" && mkdir -p "$out/tree2/bindings" "$out/tree2/include" &&
    cp -r bindings/dotnet "$out/tree2/bindings/" && cp include/lmvx.h "$out/tree2/include/" && cp CMakeLists.txt "$out/tree2/"
dotnet pack "$out/tree2/bindings/dotnet/src" -c Release --artifacts-path "$out/tree2/build/dotnet/artifacts" -o "$out/feed2" "${native_props[@]}" >"$out/pack2.log" 2>&1 ||
    { grep -E 'error' "$out/pack2.log" | sort -u >&2; die "the second dotnet pack failed (see $out/pack2.log)"; }
pkg="$feed/Lmvx.$version.nupkg" symbols="$feed/Lmvx.$version.snupkg"
(cd "$feed" && sha256sum "Lmvx.$version.nupkg" "Lmvx.$version.snupkg") >&2
(cd "$out/feed2" && sha256sum "Lmvx.$version.nupkg" "Lmvx.$version.snupkg") >&2
identical() { cmp -s "$pkg" "$out/feed2/Lmvx.$version.nupkg" && cmp -s "$symbols" "$out/feed2/Lmvx.$version.snupkg"; }
check "two packs, identical bytes" identical

# No two files of a folder or package whose paths differ only in case, and no file that a flat
# copy of one runtime's assets would put beside another of the same name but for case.
case_collisions() {  # reads paths on stdin; prints the colliding ones
    local paths; paths="$(cat)"
    { tr 'A-Z' 'a-z' <<<"$paths" | sort | uniq -d
      grep -E '^(lib/[^/]+|runtimes/[^/]+/(native|lib/[^/]+))/[^/]+$' <<<"$paths" | sed -E 's|.*/||' | sort -u | tr 'A-Z' 'a-z' | sort | uniq -d
    } | sed 's/^/dotnet: case collision: /' >&2
    ! { tr 'A-Z' 'a-z' <<<"$paths" | sort | uniq -d
        grep -E '^(lib/[^/]+|runtimes/[^/]+/(native|lib/[^/]+))/[^/]+$' <<<"$paths" | sed -E 's|.*/||' | sort -u | tr 'A-Z' 'a-z' | sort | uniq -d; } | grep -q .
}

check_package() {
    local want have manifest f
    want="[Content_Types].xml _rels/.rels Lmvx.nuspec README.md package/services/metadata/core-properties/nuget.psmdcp
          build/net472/Lmvx.targets buildTransitive/net472/Lmvx.targets build/net8.0/_._ buildTransitive/net8.0/_._
          lib/net472/Lmvx.Net.dll lib/net472/Lmvx.Net.xml lib/net8.0/Lmvx.Net.dll lib/net8.0/Lmvx.Net.xml
          runtimes/linux-x64/native/liblmvx.so runtimes/win-arm64/native/LMVX.dll runtimes/win-x64/native/LMVX.dll"
    have="$(unzip -Z1 "$pkg" | grep -v '/$' | sort | xargs)"
    [ "$have" = "$(xargs -n1 <<<"$want" | sort | xargs)" ] || { echo "package holds: $have" >&2; return 1; }
    unzip -Z1 "$pkg" | case_collisions || return 1
    unzip -p "$pkg" runtimes/win-x64/native/LMVX.dll | file - | grep -q 'PE32+ .*x86-64' || return 1
    unzip -p "$pkg" runtimes/win-arm64/native/LMVX.dll | file - | grep -q 'PE32+ .*Aarch64' || return 1
    unzip -p "$pkg" runtimes/linux-x64/native/liblmvx.so | file - | grep -q 'ELF 64-bit .*x86-64' || return 1
    manifest="$(unzip -p "$pkg" Lmvx.nuspec)"
    xmllint --noout - <<<"$manifest" || return 1
    for f in '<id>Lmvx</id>' "<version>$version</version>" '<license type="expression">MIT</license>' '<readme>README.md</readme>' \
             "commit=\"$commit\"" '<repository type="git" url="https://' '<group targetFramework=".NETFramework4.7.2" />' \
             '<group targetFramework="net8.0" />'; do
        grep -qF "$f" <<<"$manifest" || { echo "nuspec lacks $f" >&2; return 1; }
    done
    # Strong names: each assembly carries the public key of bindings/dotnet/Lmvx.snk (its modulus
    # follows the key blob's 20-byte header there and the 32-byte header in the assembly).
    local key; key="$(xxd -p -s 20 -l 128 bindings/dotnet/Lmvx.snk | tr -d '\n')"
    for f in net472 net8.0; do
        unzip -p "$pkg" "lib/$f/Lmvx.Net.dll" >"$out/check.dll"
        [ "$(monodis --assembly "$out/check.dll" | sed -nE 's/^0x[0-9a-f]+: ((([0-9A-F]{2}) ?)+)$/\1/p' | tr -d ' \n' | tr 'A-F' 'a-f' | cut -c65-320)" = "$key" ] ||
            { echo "lib/$f/Lmvx.Net.dll lacks the public key" >&2; return 1; }
    done
    # Symbols: each assembly's portable PDB, its sources linked to this commit.
    [ "$(unzip -Z1 "$symbols" | grep -cE '^lib/(net472|net8\.0)/Lmvx\.Net\.pdb$')" = 2 ] || { echo "snupkg lacks a PDB" >&2; return 1; }
    for f in net472 net8.0; do
        unzip -p "$symbols" "lib/$f/Lmvx.Net.pdb" | grep -aqF "/$commit/*" || { echo "lib/$f/Lmvx.Net.pdb has no source link" >&2; return 1; }
    done
}
check "the package's files, metadata and symbols" check_package

# ---- programs of the package, from the local feed ----------------------------------
consumers="$out/consumers"
# Their packages folder is kept between runs, but for the package under test.
mkdir -p "$consumers" && (cd "$consumers" && rm -rf packages/lmvx artifacts ./*-anycpu* ./*-win-*)
{   echo '<?xml version="1.0" encoding="utf-8"?>'
    echo '<configuration><packageSources><clear />'
    echo "<add key=\"lmvx-local\" value=\"$feed\" />"
    i=0; while read -r _ url; do i=$((i + 1)); echo "<add key=\"upstream$i\" value=\"$url\" />"; done \
        < <(dotnet nuget list source --format short | grep -E '^E')
    echo '</packageSources><packageSourceMapping><packageSource key="lmvx-local"><package pattern="Lmvx" /></packageSource>'
    for ((n = 1; n <= i; n++)); do echo "<packageSource key=\"upstream$n\"><package pattern=\"*\" /></packageSource>"; done
    echo '</packageSourceMapping></configuration>'
} >"$consumers/NuGet.Config"
consumer_build() {  # PROJECT NAME [RID]: builds into $consumers/NAME-RID; no warning (NU1701 included) allowed
    local project="$1" name="$2" rid="${3:-}" dir
    dir="$consumers/$name-${rid:-anycpu}"
    dotnet build "$project" -c Release --configfile "$consumers/NuGet.Config" --packages "$consumers/packages" \
        -p:LmvxVersion="$version" -p:TreatWarningsAsErrors=true -warnaserror ${rid:+-r "$rid" --self-contained false} \
        --artifacts-path "$consumers/artifacts/$name-${rid:-anycpu}" -o "$dir" >"$dir.log" 2>&1 ||
        { grep -E 'error|warn' "$dir.log" | sort -u | head -5 >&2; return 1; }
    ! grep -q NU1701 "$dir.log" || return 1
    (cd "$dir" && find . -type f | sed 's|^\./||') | case_collisions
}
pe() { file "$1" | grep -q "$2"; }
console=examples/dotnet/console/lmvx-dotnet.csproj framework=bindings/dotnet/package-tests/net48/Lmvx.Net48.csproj
check "net8.0 console, win-x64" eval 'consumer_build $console console win-x64 && pe $consumers/console-win-x64/LMVX.dll "PE32+ .*x86-64" && [ -f $consumers/console-win-x64/Lmvx.Net.dll ]'
check "net8.0 console, win-arm64" eval 'consumer_build $console console win-arm64 && pe $consumers/console-win-arm64/LMVX.dll "PE32+ .*Aarch64"'
check "net8.0 console, AnyCPU" eval 'consumer_build $console console && pe $consumers/console-anycpu/runtimes/win-x64/native/LMVX.dll x86-64 &&
    pe $consumers/console-anycpu/runtimes/win-arm64/native/LMVX.dll Aarch64 && [ -f $consumers/console-anycpu/runtimes/linux-x64/native/liblmvx.so ]'
check "net48, win-x64" eval 'consumer_build $framework net48 win-x64 && pe $consumers/net48-win-x64/LMVX.dll x86-64 && pe $consumers/net48-win-x64/lmvx/x64/LMVX.dll x86-64'
check "net48, win-arm64" eval 'consumer_build $framework net48 win-arm64 && pe $consumers/net48-win-arm64/LMVX.dll Aarch64'
check "net48, AnyCPU" eval 'consumer_build $framework net48 && pe $consumers/net48-anycpu/lmvx/x64/LMVX.dll x86-64 &&
    pe $consumers/net48-anycpu/lmvx/arm64/LMVX.dll Aarch64 && [ -f $consumers/net48-anycpu/Lmvx.Net.dll ]'
check "WinForms tray sample, win-x64" eval 'consumer_build examples/dotnet/tray/lmvx-tray.csproj tray win-x64 && pe $consumers/tray-win-x64/LMVX.dll x86-64'

# The console program on CoreCLR finds the package's liblmvx.so itself; the net48 one, on Mono,
# ends without disposing its session, and the service hears of the end.
start_sim
ran() {
    (unset LD_LIBRARY_PATH; dotnet "$consumers/console-anycpu/lmvx-dotnet.dll") >"$consumers/console.out" 2>&1 &&
        grep -q '^Contrast: 50$' "$consumers/console.out" || { cat "$consumers/console.out" >&2; return 1; }
    mono "$consumers/net48-anycpu/Lmvx.Net48.exe" >"$consumers/net48.out" 2>&1 &&
        grep -q '^status: Connected, contrast: 50$' "$consumers/net48.out" || { cat "$consumers/net48.out" >&2; return 1; }
    [ "$(grep -c '17 session-end' "$run/sim.log")" = 2 ] || { echo "session ends seen: $(grep -c '17 session-end' "$run/sim.log")" >&2; return 1; }
}
check "the console (CoreCLR) and net48 (Mono) programs against the simulator" ran
stop_sim

echo "dotnet: $pkg" >&2
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
