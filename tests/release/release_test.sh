#!/usr/bin/env bash
# The Windows archive as a host developer gets it:
#   release_test.sh OUT     OUT: the folder scripts/release.sh wrote (unsigned)
# Checks its files, checksums, version and symbols; signs a second archive
# with a throwaway certificate and verifies every signature; refuses the
# other architecture's CMake package; and builds a host the Visual Studio way
# (clang-cl, lld-link, the archive's header and LMVX.lib alone) that runs a
# session against the archive's DLL and lumivex-sim.exe under Wine x64 and
# the ARM64 runner. One "release: ok|FAILED NAME" line per check.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$(cd "$1" && pwd)"
cd "$repo"
. scripts/env.sh
version="$(sed -nE 's/^project\(lmvx VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' CMakeLists.txt)"
name="lmvx-$version-windows"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
failures=0
check() {  # NAME COMMAND...: one line, the command's output only when it fails
    local label="$1"; shift
    if "$@" >"$tmp/check.log" 2>&1; then echo "release: ok $label"
    else echo "release: FAILED $label"; sed 's/^/    /' "$tmp/check.log" | tail -30; failures=$((failures + 1)); fi
}
unzip -q "$out/$name.zip" -d "$tmp/x"
top="$tmp/x/$name"

files() {
    local want="LICENSE README.md SHA256SUMS include/lmvx.h" arch f
    for arch in arm64 x64; do
        for f in bin/LMVX.dll bin/LMVX.pdb bin/lumivex-sim.exe bin/lumivex-sim.pdb bin/lmvxctl.exe bin/lmvxctl.pdb \
            lib/LMVX.lib lib/libLMVX.dll.a lib/LMVX.def lib/cmake/lmvx/lmvxConfig.cmake \
            lib/cmake/lmvx/lmvxConfigVersion.cmake lib/cmake/lmvx/lmvxTargets.cmake \
            lib/cmake/lmvx/lmvxTargets-relwithdebinfo.cmake; do want+=" $arch/$f"; done
    done
    diff <(tr ' ' '\n' <<<"$want" | LC_ALL=C sort) <(unzip -Z1 "$out/$name.zip" | sed "s|^$name/||" | LC_ALL=C sort)
}
check "files" files
check "checksums" bash -c "cd '$out' && sha256sum -c --quiet '$name.zip.sha256' && cd '$top' &&
    sha256sum -c --quiet SHA256SUMS && [ \$(wc -l <SHA256SUMS) = \$(find . -type f ! -name SHA256SUMS | wc -l) ]"
check "unsigned, and says so" bash -c "grep -q 'not signed' '$top/README.md' &&
    ! osslsigncode verify -in '$top/x64/bin/LMVX.dll' >/dev/null 2>&1"

# One version: the header, the package, the import library's DLL, the tool.
versions() {
    local v=(${version//./ })
    grep -qx "#define LMVX_VERSION_MAJOR ${v[0]}" "$top/include/lmvx.h" &&
        grep -qx "#define LMVX_VERSION_MINOR ${v[1]}" "$top/include/lmvx.h" &&
        grep -qx "#define LMVX_VERSION_PATCH ${v[2]}" "$top/include/lmvx.h" &&
        grep -q "PACKAGE_VERSION \"$version\"" "$top/x64/lib/cmake/lmvx/lmvxConfigVersion.cmake" &&
        cmp "$top/x64/lib/LMVX.lib" "$top/x64/lib/libLMVX.dll.a" &&
        llvm-readobj --coff-imports "$top/x64/bin/lmvxctl.exe" | grep 'Name: LMVX.dll' >/dev/null
}
check "one version ($version)" versions
# The header's names for the string table are the resource script's ids.
check "string ids" diff <(sed -nE 's/^ +LVX_STR_[A-Z0-9_]+ = ([0-9]+),?$/\1/p' "$top/include/lmvx.h") \
    <(sed -nE 's/^ +([0-9]+) ".*/\1/p' res/resources.rc)

# Each PDB is the one its binary names: same GUID and age, with the
# library's functions and their source lines.
symbols() {
    local pe pdb guid age
    for pe in "$top"/*/bin/*.dll "$top"/*/bin/*.exe; do
        pdb="${pe%.*}.pdb"
        llvm-readobj --coff-debug-directory "$pe" >"$tmp/dd"
        grep -q "PDBFileName: $(basename "$pdb")\$" "$tmp/dd" || { echo "$pe names no $(basename "$pdb")"; return 1; }
        guid="$(sed -nE 's/.*PDBGUID: \((.*)\)/\1/p' "$tmp/dd" | tr -d ' ')" age="$(sed -nE 's/.*PDBAge: //p' "$tmp/dd")"
        llvm-pdbutil dump -summary "$pdb" >"$tmp/summary"
        python3 - "$guid" "$age" "$tmp/summary" <<'PY' || { echo "$pdb: not the PDB of $pe"; return 1; }
import re, sys, uuid
guid, age, summary = bytes.fromhex(sys.argv[1]), int(sys.argv[2]), open(sys.argv[3]).read()
text = re.search(r"GUID: \{(.*)\}", summary).group(1)
sys.exit(0 if uuid.UUID(text).bytes_le == guid and re.search(r"Age: (\d+)", summary).group(1) == str(age) else 1)
PY
    done
    for pdb in "$top"/*/bin/LMVX.pdb; do
        llvm-pdbutil dump -symbols "$pdb" | grep 'S_GPROC32 .*`GetContrast`' >/dev/null || { echo "$pdb: no GetContrast"; return 1; }
        llvm-pdbutil dump -l "$pdb" | grep 'src/exports/controls_exports.cpp' >/dev/null || { echo "$pdb: no lines"; return 1; }
    done
}
check "symbols" symbols

# Signed with a throwaway certificate: every binary verifies, and the sums
# are of the signed files.
signed() {
    openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=lmvx release test" -days 2 \
        -keyout "$tmp/key.pem" -out "$tmp/cert.pem" 2>/dev/null || return 1
    LMVX_SIGN_CERT="$tmp/cert.pem" LMVX_SIGN_KEY="$tmp/key.pem" bash scripts/release.sh --out "$tmp/signed" >/dev/null || return 1
    unzip -q "$tmp/signed/$name.zip" -d "$tmp/s"
    (cd "$tmp/s/$name" && sha256sum -c --quiet SHA256SUMS) || return 1
    grep -q 'Authenticode-signed (SHA-256) by `CN=lmvx release test`' "$tmp/s/$name/README.md" || return 1
    local pe
    for pe in "$tmp/s/$name"/*/bin/*.dll "$tmp/s/$name"/*/bin/*.exe; do
        osslsigncode verify -CAfile "$tmp/cert.pem" -in "$pe" >"$tmp/verify" 2>&1 || { cat "$tmp/verify"; return 1; }
        echo "${pe#"$tmp/s/"}: $(grep -E '^Signature verification' "$tmp/verify")"
    done >"$out/verify.txt"
}
check "signed" signed

# The CMake package of one architecture refuses a project for the other,
# at find_package, naming both.
mkdir -p "$tmp/consumer"
printf 'cmake_minimum_required(VERSION 3.25)\nproject(consumer C)\nfind_package(lmvx %s REQUIRED)\n' \
    "${version%%.*}" >"$tmp/consumer/CMakeLists.txt"
refuses() {
    local triple="$1" package="$2" built="$3" wanted="$4"
    ! cmake -S "$tmp/consumer" -B "$tmp/consumer/$triple-$package" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/zig-$triple-windows-gnu.cmake" \
        -Dlmvx_DIR="$top/$package/lib/cmake/lmvx" >"$tmp/configure.log" 2>&1 &&
        grep -q "built for $built, the project targets $wanted" "$tmp/configure.log" || { cat "$tmp/configure.log"; return 1; }
    cmake -S "$tmp/consumer" -B "$tmp/consumer/$triple-$built" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/zig-$triple-windows-gnu.cmake" \
        -Dlmvx_DIR="$top/$([ "$package" = x64 ] && echo arm64 || echo x64)/lib/cmake/lmvx" >/dev/null
}
check "CMake package refuses ARM64 projects (x64 package)" refuses aarch64 x64 AMD64 ARM64
check "CMake package refuses x64 projects (ARM64 package)" refuses x86_64 arm64 ARM64 AMD64

# The Visual Studio way: compiled from include/ and linked with LMVX.lib
# alone (and system import libraries), run beside the archive's DLL.
msvc_host() {
    local arch="$1" target machine dlltool run=() lock
    case "$arch" in
        x64) target=x86_64-pc-windows-msvc machine=x64 dlltool=i386:x86-64 lock="$repo/.tools/wine-tests.lock" ;;
        arm64) target=aarch64-pc-windows-msvc machine=arm64 dlltool=arm64 lock="$LMVX_ARM64_ROOT.wine.lock"
               export LMVX_WINE_ARCH=arm64; . scripts/env.sh ;;
    esac
    local dir="$tmp/host-$arch"
    mkdir -p "$dir"
    printf 'LIBRARY kernel32.dll\nEXPORTS\nGetStdHandle\nWriteFile\nExitProcess\nLoadLibraryW\nGetProcAddress\n' >"$dir/kernel32.def"
    printf 'LIBRARY user32.dll\nEXPORTS\nLoadStringW\n' >"$dir/user32.def"
    llvm-dlltool -m "$dlltool" -d "$dir/kernel32.def" -l "$dir/kernel32.lib" &&
        llvm-dlltool -m "$dlltool" -d "$dir/user32.def" -l "$dir/user32.lib" &&
        clang-cl-14 --target="$target" /c /GS- /std:c11 /W4 /WX /O2 /I"$top/include" /Fo"$dir/host.obj" -- \
            "$repo/tests/release/msvc_host.c" &&
        lld-link-14 /nologo /nodefaultlib /entry:HostMain /subsystem:console /machine:"$machine" /out:"$dir/host.exe" \
            "$dir/host.obj" "$top/$arch/lib/LMVX.lib" "$dir/kernel32.lib" "$dir/user32.lib" || return 1
    cp "$top/$arch/bin/LMVX.dll" "$top/$arch/bin/lumivex-sim.exe" "$dir/"
    exec 9>"$lock"; flock 9
    if [ "$arch" = arm64 ]; then
        "$WINE" --wineserver -p120 </dev/null >/dev/null 2>&1; "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
    fi
    (cd "$dir" && WINEDLLOVERRIDES="mscoree,mshtml=" timeout --kill-after=5 300 "$WINE" lumivex-sim.exe --run-ms 200000 \
        --value 0x10=81 >"$dir/sim.out" 2>&1) &
    local sim=$!
    for _ in $(seq 600); do grep -q serving "$dir/sim.out" && break; sleep 0.2; done
    (cd "$dir" && WINE_TIMEOUT=300 "$repo/scripts/wine-run.sh" host.exe) >"$dir/host.out" 2>&1
    local rc=$?
    kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
    scripts/wine-stop.sh
    exec 9>&-
    tr -d '\r' <"$dir/host.out"
    local v=(${version//./ })
    [ "$rc" = 0 ] && [ "$(tr -d '\r' <"$dir/host.out" | tr '\n' ' ')" = "version $((v[0] * 10000 + v[1] * 100 + v[2])) ok service 1 ok started 1 ok contrast 33 ok brightness 81 ok string 5 ok stopped 2 ok " ]
}
check "MSVC-ABI host, x64 under Wine" msvc_host x64
check "MSVC-ABI host, ARM64 under the ARM64 runner" msvc_host arm64

echo "release: $failures failed"
[ "$failures" = 0 ]
