#!/usr/bin/env bash
# The .NET binding, in build/dotnet/:
#   1. installs Mono's compiler and runtime, NUnit 2.6 and zip when missing
#      (scripts/setup.sh dotnet);
#   2. builds Lmvx.dll with its XML documentation (mcs), and examples/dotnet;
#   3. runs the NUnit tests on Mono against liblmvx.so (build/native) and
#      lumivex-sim in a private XDG_RUNTIME_DIR;
#   4. writes Lmvx.<version>.nupkg (version: the CMake project's) with the
#      assembly and the native libraries: build/win-x64 and build/win-arm64 when
#      the Windows stages have built them, else a DLL-only build of its own;
#   5. checks the package's layout and metadata.
# Ends with "N passed, N failed" (NUnit cases and the package check).
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"
. scripts/env.sh
out=build/dotnet
mkdir -p "$out"
jobs="$(nproc)"
version="$(sed -nE 's/^project\(lmvx VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)"
die() { echo "dotnet: $*" >&2; echo "0 passed, 1 failed"; exit 1; }

bash scripts/setup.sh native dotnet >"$out/setup.log" 2>&1 || { cat "$out/setup.log" >&2; die "setup failed"; }

# ---- native library and simulator (the native stage's tree) ----------------
if [ ! -f build/native/build.ninja ]; then
    cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${LMVX_NATIVE_FLAGS[@]}" >"$out/native.log" 2>&1 ||
        die "configuring build/native failed (see $out/native.log)"
fi
cmake --build build/native -j "$jobs" --target lmvx lumivex-sim >>"$out/native.log" 2>&1 ||
    die "building liblmvx.so failed (see $out/native.log)"

# ---- the assembly, its tests and the example ---------------------------------
cat >"$out/AssemblyInfo.cs" <<EOF
[assembly: System.Reflection.AssemblyVersion("$version.0")]
[assembly: System.Reflection.AssemblyInformationalVersion("$version")]
[assembly: System.Reflection.AssemblyTitle("Lmvx")]
[assembly: System.Reflection.AssemblyDescription(".NET binding of the LMVX display-control library")]
[assembly: System.Runtime.InteropServices.ComVisible(false)]
EOF
nunit=/usr/lib/cli/nunit.framework-2.6.3/nunit.framework.dll
mcs -nologo -target:library -unsafe -optimize -warnaserror -doc:"$out/Lmvx.xml" -out:"$out/Lmvx.dll" \
    bindings/dotnet/src/*.cs "$out/AssemblyInfo.cs" >"$out/build.log" 2>&1 || { cat "$out/build.log" >&2; die "Lmvx.dll"; }
mcs -nologo -target:library -warnaserror -r:"$out/Lmvx.dll" -r:"$nunit" -r:Mono.Posix.dll -r:System.Core.dll \
    -out:"$out/Lmvx.Tests.dll" bindings/dotnet/tests/*.cs >>"$out/build.log" 2>&1 || { cat "$out/build.log" >&2; die "tests"; }
mcs -nologo -warnaserror -r:"$out/Lmvx.dll" -out:"$out/lmvx-dotnet.exe" examples/dotnet/*.cs >>"$out/build.log" 2>&1 ||
    { cat "$out/build.log" >&2; die "examples/dotnet"; }

# ---- tests against the simulator ---------------------------------------------
run="$(mktemp -d)"
sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null; rm -rf "$run"; }
trap cleanup EXIT
export XDG_RUNTIME_DIR="$run" LD_LIBRARY_PATH="$repo/build/native${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
build/native/lumivex-sim --quiet --log --control 'autocolor 1' --control 'partition 1' --control 'layout 1 7' \
    --control 'schedule 1' --control 'times 1 2 3 4' --control 'schedule-mode 2' --control 'power 1' \
    --control 'hdr 1' --control 'features 0x2A' >"$run/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do build/native/lumivex-sim requests >/dev/null 2>&1 && break; sleep 0.1; done
passed=0 failed=0
(cd "$out" && timeout 600 nunit-console -nologo -noshadow -labels Lmvx.Tests.dll) >"$out/tests.log" 2>&1
counts="$(grep -E '^Tests run: ' "$out/tests.log" | tail -1)"
if [ -n "$counts" ]; then
    read -r run_count errors failures < <(sed -E 's/Tests run: ([0-9]+), Errors: ([0-9]+), Failures: ([0-9]+).*/\1 \2 \3/' <<<"$counts")
    passed=$((run_count - errors - failures)) failed=$((errors + failures))
else
    failed=1
fi
grep -E '^Tests run:|^[0-9]+\) |^ *(Expected|But was)' "$out/tests.log" | head -40 >&2
kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; sim_pid=""

# ---- the package ---------------------------------------------------------------
# A Windows DLL from the Windows stage's tree, else from a tree that builds the DLL only.
windows_dll() {
    local arch="$1" triple dir="build/win-$1"
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
pkg="$out/Lmvx.$version.nupkg" stage="$out/package"
rm -rf "$stage" "$pkg"
mkdir -p "$stage/_rels" "$stage/lib/net472" "$stage/runtimes/linux-x64/native"
cp "$out/Lmvx.dll" "$out/Lmvx.xml" "$stage/lib/net472/"
strip --strip-debug -o "$stage/runtimes/linux-x64/native/liblmvx.so" build/native/liblmvx.so
for arch in x64 arm64; do
    dll="$(windows_dll "$arch")" || die "building LMVX.dll for $arch failed (see $out/windows.log)"
    mkdir -p "$stage/runtimes/win-$arch/native" && cp "$dll" "$stage/runtimes/win-$arch/native/LMVX.dll"
done
sed "s/@VERSION@/$version/" bindings/dotnet/Lmvx.nuspec >"$stage/Lmvx.nuspec"
cat >"$stage/[Content_Types].xml" <<'EOF'
<?xml version="1.0" encoding="utf-8"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="nuspec" ContentType="application/octet"/><Default Extension="dll" ContentType="application/octet"/><Default Extension="xml" ContentType="application/octet"/><Default Extension="so" ContentType="application/octet"/></Types>
EOF
cat >"$stage/_rels/.rels" <<'EOF'
<?xml version="1.0" encoding="utf-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Type="http://schemas.microsoft.com/packaging/2010/07/manifest" Target="/Lmvx.nuspec" Id="R0"/></Relationships>
EOF
(cd "$stage" && TZ=UTC zip -q -X -D -r "$repo/$pkg" '[Content_Types].xml' _rels Lmvx.nuspec lib runtimes) || die "zip failed"

# The package: every file in its place, each native library of its machine, the metadata.
check_package() {
    local want have manifest f
    want="[Content_Types].xml _rels/.rels Lmvx.nuspec lib/net472/Lmvx.dll lib/net472/Lmvx.xml runtimes/linux-x64/native/liblmvx.so runtimes/win-arm64/native/LMVX.dll runtimes/win-x64/native/LMVX.dll"
    have="$(unzip -Z1 "$pkg" | grep -v '/$' | sort | xargs)"
    [ "$have" = "$(tr ' ' '\n' <<<"$want" | sort | xargs)" ] || { echo "package holds: $have" >&2; return 1; }
    unzip -p "$pkg" lib/net472/Lmvx.dll | cmp -s - "$out/Lmvx.dll" || return 1
    unzip -p "$pkg" runtimes/win-x64/native/LMVX.dll | file - | grep -q 'PE32+ .*x86-64' || return 1
    unzip -p "$pkg" runtimes/win-arm64/native/LMVX.dll | file - | grep -q 'PE32+ .*Aarch64' || return 1
    unzip -p "$pkg" runtimes/linux-x64/native/liblmvx.so | file - | grep -q 'ELF 64-bit .*x86-64' || return 1
    manifest="$(unzip -p "$pkg" Lmvx.nuspec)"
    xmllint --noout - <<<"$manifest" || return 1
    for f in '<id>Lmvx</id>' "<version>$version</version>" '<license type="expression">MIT</license>' '<description>.NET binding'; do
        grep -qF "$f" <<<"$manifest" || { echo "nuspec lacks $f" >&2; return 1; }
    done
}
if check_package; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "dotnet: package check FAILED" >&2; fi
echo "dotnet: $pkg" >&2
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
