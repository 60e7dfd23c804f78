#!/usr/bin/env bash
# Static checks of the Windows binaries built here, read with llvm-readobj:
#   check_binary.sh PROCESSOR DEF LMVX.DLL [TOOL.EXE...]
# Each has the machine type of PROCESSOR (CMake's name) and imports only
# system DLLs (the tools LMVX.dll too), so Crypt32 is never imported (it is
# loaded at run time); the DLL's export table is the names of DEF, nothing
# else. Prints "check: ... ok" or the first failure and exits non-zero.
set -uo pipefail
processor="$1" def="$2" dll="$3"
readobj="${LLVM_READOBJ:-$(command -v llvm-readobj || command -v llvm-readobj-14 || true)}"
fail() { echo "check: FAILED: $*"; exit 1; }
[ -n "$readobj" ] || fail "llvm-readobj not found"
case "$processor" in ARM64 | arm64 | aarch64) machine=AA64 ;; *) machine=8664 ;; esac
# kernel32/user32/advapi32/shell32/ole32 are the Win32 calls of the backend;
# msvcrt is the C runtime of the MinGW ABI that zig links against; ucrtbase
# and api-ms-win-crt-* are the same runtime on other toolchains.
allowed='^(kernel32|user32|advapi32|shell32|ole32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll$'

for file in "${@:3}"; do
    seen="$("$readobj" --file-headers "$file" | sed -n 's/^ *Machine: .*(0x\([0-9A-Fa-f]*\)).*/\1/p' | head -1)"
    [ "$(tr 'a-f' 'A-F' <<<"$seen")" = "$machine" ] || fail "$file: machine ${seen:-unknown}, expected $machine"
    list="$("$readobj" --coff-imports "$file" | sed -n 's/^ *Name: \(.*\.dll\)$/\1/Ip' | tr 'A-Z' 'a-z' | sort -u)"
    [ -n "$list" ] || fail "$file: no imports read"
    [ "$file" = "$dll" ] || allowed="${allowed%)*}|lmvx)\\.dll\$"
    bad="$(grep -Ev "$allowed" <<<"$list" | tr '\n' ' ')"
    [ -z "$bad" ] || fail "$file imports non-system DLLs: $bad"
done
want="$(sed -n 's/^[ \t]\{1,\}\([A-Za-z_][A-Za-z0-9_]*\)[ \t\r]*$/\1/p' "$def" | sort)"
have="$("$readobj" --coff-exports "$dll" | sed -n 's/^ *Name: \(.*\)$/\1/p' | sort)"
count="$("$readobj" --coff-exports "$dll" | grep -c '^ *Ordinal:')"
[ -n "$want" ] || fail "no names in $def"
[ "$want" = "$have" ] || { diff <(echo "$want") <(echo "$have"); fail "export table differs from $def"; }
[ "$count" -eq "$(wc -l <<<"$want")" ] || fail "$count exports, of which some have no name"
echo "check: ok"
