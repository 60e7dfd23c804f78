#!/usr/bin/env bash
# The Windows archive as a host developer gets it:
#   release_test.sh OUT     OUT: the folder scripts/release.sh wrote (unsigned)
# Its files, checksums, version and symbols; a second archive signed with a
# throwaway certificate; the CMake package refusing the other architecture;
# a host built the Visual Studio way (clang-cl, lld-link, the archive's
# header and LMVX.lib alone) running a session against the archive's DLL and
# lumivex-sim.exe under Wine x64 and the ARM64 runner. One line per check:
# "release: ok|FAILED NAME".
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$(cd "$1" && pwd)"
cd "$repo"
. scripts/env.sh
version="$(sed -nE 's/^project\(lmvx VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' CMakeLists.txt)"
IFS=. read -r major minor patch <<<"$version"
name="lmvx-$version-windows" tmp="$(mktemp -d)" failures=0
trap 'rm -rf "$tmp"' EXIT
check() {  # LABEL COMMAND...: the command's output only when it fails
    local label="$1"; shift
    if "$@" >"$tmp/check.log" 2>&1; then echo "release: ok $label"
    else echo "release: FAILED $label"; tail -30 "$tmp/check.log" | sed 's/^/    /'; failures=$((failures + 1)); fi
}
unzip -q "$out/$name.zip" -d "$tmp/x"
top="$tmp/x/$name"

files() {
    local want="LICENSE README.md SHA256SUMS include/lmvx.h" arch f
    for arch in arm64 x64; do
        for f in bin/{LMVX.dll,LMVX.pdb,lumivex-sim.exe,lumivex-sim.pdb,lmvxctl.exe,lmvxctl.pdb} \
            lib/{LMVX.lib,libLMVX.dll.a,LMVX.def} \
            lib/cmake/lmvx/lmvx{Config,ConfigVersion,Targets,Targets-relwithdebinfo}.cmake; do want+=" $arch/$f"; done
    done
    diff <(tr ' ' '\n' <<<"$want" | LC_ALL=C sort) <(unzip -Z1 "$out/$name.zip" | sed "s|^$name/||" | LC_ALL=C sort) &&
        (cd "$out" && sha256sum -c --quiet "$name.zip.sha256") && (cd "$top" && sha256sum -c --quiet SHA256SUMS) &&
        [ "$(wc -l <"$top/SHA256SUMS")" = "$(find "$top" -type f ! -name SHA256SUMS | wc -l)" ] &&
        grep -q 'not signed' "$top/README.md" && ! osslsigncode verify -in "$top/x64/bin/LMVX.dll"
}
check "files, checksums, unsigned" files

# The header's names for the string table are the resource script's ids
# (its version numbers are the package test's).
check "string ids" diff <(sed -nE 's/^ +LVX_STR_[A-Z0-9_]+ = ([0-9]+),?$/\1/p' "$top/include/lmvx.h") \
    <(sed -nE 's/^ +([0-9]+) ".*/\1/p' res/resources.rc)

# The shipped binaries: machine, system imports only, the 53 exports, ASLR and NX.
binaries() {
    bash tests/windows/check_binary.sh "$1" src/exports/LMVX.def "$top/$1"/bin/{LMVX.dll,lumivex-sim.exe,lmvxctl.exe} &&
        for pe in "$top/$1"/bin/*.{dll,exe}; do
            [ "$(llvm-readobj --file-headers "$pe" | grep -cE 'CHARACTERISTICS_(DYNAMIC_BASE|NX_COMPAT)')" = 2 ] || return 1
        done
}
check "binaries (arm64)" binaries arm64
check "binaries (x64)" binaries x64

# Each PDB is the one its binary names (GUID and age), with the library's
# functions and source lines.
symbols() {
    local pe
    for pe in "$top"/*/bin/*.dll "$top"/*/bin/*.exe; do
        llvm-readobj --coff-debug-directory "$pe" >"$tmp/dd" && llvm-pdbutil dump -summary "${pe%.*}.pdb" >"$tmp/pdb" &&
            python3 - "$tmp/dd" "$tmp/pdb" "$(basename "${pe%.*}.pdb")" <<'PY' || { echo "$pe: not its PDB"; return 1; }
import re, sys, uuid
dd, pdb = open(sys.argv[1]).read(), open(sys.argv[2]).read()
guid = bytes.fromhex(re.search(r"PDBGUID: \((.*)\)", dd).group(1).replace(" ", ""))
same = uuid.UUID(re.search(r"GUID: \{(.*)\}", pdb).group(1)).bytes_le == guid
same &= re.search(r"PDBAge: (\d+)", dd).group(1) == re.search(r"\n +Age: (\d+)", pdb).group(1)
sys.exit(0 if same and re.search(r"PDBFileName: (.*)", dd).group(1) == sys.argv[3] else 1)
PY
    done
    for pe in "$top"/*/bin/LMVX.pdb; do
        llvm-pdbutil dump -symbols "$pe" | grep 'S_GPROC32 .*`GetContrast`' >/dev/null &&
            llvm-pdbutil dump -l "$pe" | grep 'src/exports/controls_exports.cpp' >/dev/null || { echo "$pe: no symbols"; return 1; }
    done
}
check "symbols" symbols

# Signed with a throwaway certificate: every binary verifies, the sums are
# of the signed files.
signed() {
    openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=lmvx release test" -days 2 \
        -keyout "$tmp/key.pem" -out "$tmp/cert.pem" 2>/dev/null &&
        LMVX_SIGN_CERT="$tmp/cert.pem" LMVX_SIGN_KEY="$tmp/key.pem" bash scripts/release.sh --out "$tmp/signed" >/dev/null &&
        unzip -q "$tmp/signed/$name.zip" -d "$tmp/s" && (cd "$tmp/s/$name" && sha256sum -c --quiet SHA256SUMS) &&
        grep -q 'Authenticode-signed (SHA-256) by `CN=lmvx release test`' "$tmp/s/$name/README.md" || return 1
    local pe
    for pe in "$tmp/s/$name"/*/bin/*.dll "$tmp/s/$name"/*/bin/*.exe; do
        osslsigncode verify -CAfile "$tmp/cert.pem" -in "$pe" >"$tmp/verify" 2>&1 || { cat "$tmp/verify" >&2; return 1; }
        echo "${pe#"$tmp/s/"}: $(grep -E '^Signature verification' "$tmp/verify")"
    done >"$out/verify.txt"
}
check "signed" signed

# At find_package, naming both architectures; the matching package is taken.
mkdir -p "$tmp/consumer"
printf 'cmake_minimum_required(VERSION 3.25)\nproject(consumer C)\nfind_package(lmvx %s REQUIRED)\n' "$major" \
    >"$tmp/consumer/CMakeLists.txt"
configure() {  # TRIPLE PACKAGE
    cmake -S "$tmp/consumer" -B "$tmp/consumer/$1-$2" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/zig-$1-windows-gnu.cmake" \
        -Dlmvx_DIR="$top/$2/lib/cmake/lmvx"
}
refuses() {  # TRIPLE PACKAGE OTHER-PACKAGE BUILT-FOR WANTED
    ! configure "$1" "$2" >"$tmp/configure.log" 2>&1 && grep -q "built for $4, the project targets $5" "$tmp/configure.log" ||
        { cat "$tmp/configure.log"; return 1; }
    configure "$1" "$3"
}
check "CMake package refuses ARM64 projects (x64 package)" refuses aarch64 x64 arm64 AMD64 ARM64
check "CMake package refuses x64 projects (ARM64 package)" refuses x86_64 arm64 x64 ARM64 AMD64

# Compiled from include/ and linked with LMVX.lib and system import
# libraries alone, run beside the archive's DLL and simulator.
msvc_host() {  # ARCH CLANG-TARGET DLLTOOL-MACHINE WINE-LOCK
    local dir="$tmp/host-$1"
    mkdir -p "$dir" && cp "$top/$1/bin/LMVX.dll" "$top/$1/bin/lumivex-sim.exe" "$dir/"
    printf 'LIBRARY kernel32.dll\nEXPORTS\nGetStdHandle\nWriteFile\nExitProcess\nLoadLibraryW\nGetProcAddress\n' >"$dir/k.def"
    printf 'LIBRARY user32.dll\nEXPORTS\nLoadStringW\n' >"$dir/u.def"
    llvm-dlltool -m "$3" -d "$dir/k.def" -l "$dir/kernel32.lib" && llvm-dlltool -m "$3" -d "$dir/u.def" -l "$dir/user32.lib" &&
        clang-cl-14 --target="$2" /c /GS- /std:c11 /W4 /WX /O2 /I"$top/include" /Fo"$dir/host.obj" -- tests/release/msvc_host.c &&
        lld-link-14 /nologo /nodefaultlib /entry:HostMain /subsystem:console /machine:"$1" /out:"$dir/host.exe" \
            "$dir/host.obj" "$top/$1/lib/LMVX.lib" "$dir/kernel32.lib" "$dir/user32.lib" || return 1
    exec 9>"$4" && flock 9
    [ "$1" = x64 ] || { "$WINE" --wineserver -p120 && "$WINE" cmd /c exit; } </dev/null >/dev/null 2>&1
    (cd "$dir" && timeout 300 "$WINE" lumivex-sim.exe --run-ms 200000 --value 0x10=81 >sim.out 2>&1) &
    local sim=$! rc
    for _ in $(seq 600); do grep -q serving "$dir/sim.out" && break; sleep 0.2; done
    (cd "$dir" && WINE_TIMEOUT=300 "$repo/scripts/wine-run.sh" host.exe) >"$dir/host.out" 2>&1; rc=$?
    kill "$sim"; wait "$sim"; scripts/wine-stop.sh; exec 9>&-
    tr -d '\r' <"$dir/host.out"
    [ "$rc" = 0 ] && [ "$(tr -d '\r' <"$dir/host.out" | tr '\n' ' ')" = "version $((major * 10000 + minor * 100 + patch)) ok \
service 1 ok started 1 ok contrast 33 ok brightness 81 ok string 5 ok stopped 2 ok " ]
}
export WINEDLLOVERRIDES="mscoree,mshtml="
check "MSVC-ABI host, x64 under Wine" msvc_host x64 x86_64-pc-windows-msvc i386:x86-64 "$repo/.tools/wine-tests.lock"
export LMVX_WINE_ARCH=arm64; . scripts/env.sh
check "MSVC-ABI host, ARM64 under the ARM64 runner" msvc_host arm64 aarch64-pc-windows-msvc arm64 "$LMVX_ARM64_ROOT.wine.lock"

echo "release: $failures failed"
[ "$failures" = 0 ]
