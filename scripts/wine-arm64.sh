#!/usr/bin/env bash
# The ARM64 Wine loader: runs a Windows program with Debian's arm64 Wine inside
# the machine's arm64 root (scripts/setup.sh arm64), emulated by qemu-user.
#   wine-arm64.sh PROGRAM [ARGS...]       as wine64 PROGRAM ARGS
#   wine-arm64.sh --wineserver [ARGS...]  the root's wineserver (-p, -w, -k)
# Each call enters its own private mount namespace and chroots there, so that
# nothing stays mounted on the host: /proc, /sys, /dev (with /dev/shm, shared
# by all), this clone and /tmp (and $TMPDIR) appear at their own paths. The
# wineserver opens files for its clients, so it must see the same paths.
# Everything from here to the program is exec'd: the program keeps this
# process's id and receives its signals.
set -eu
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
root="${LMVX_ARM64_ROOT:-/var/cache/lmvx/arm64-bookworm}"
prog=/usr/lib/wine/wine64
if [ "${1:-}" = --wineserver ]; then prog=/usr/lib/wine/wineserver; shift; fi
if [ ! -x "$root$prog" ]; then
    echo "wine-arm64: no arm64 Wine in $root; run scripts/setup.sh arm64" >&2
    exit 2
fi
# /tmp first: a clone inside it is then bound on top, not hidden.
binds=(/tmp)
if [ -n "${TMPDIR:-}" ] && [ -d "$TMPDIR" ]; then binds+=("$(cd "$TMPDIR" && pwd -P)"); fi
binds+=("$repo")

export WINEPREFIX=/root/.wine HOME=/root WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY WINELOADER WINESERVER

# shellcheck disable=SC2016
exec unshare --mount --propagation private -- /bin/bash -c '
    set -e
    root="$1" wd="$2" prog="$3"; shift 3
    mount --bind /proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount --bind /sys "$root/sys"
    while [ "$1" != -- ]; do
        mkdir -p "$root$1"; mount --bind "$1" "$root$1"; shift
    done
    shift
    [ -d "$root$wd" ] || wd=/
    exec unshare --root="$root" --wd="$wd" -- "$prog" "$@"
' wine-arm64 "$root" "$PWD" "$prog" "${binds[@]}" -- "$@"
