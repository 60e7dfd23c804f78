#!/usr/bin/env bash
# Static checks of a Windows binary built here, read with llvm-readobj:
#   check_binary.sh machine        FILE MACHINE      machine type (0x8664 x64, 0xAA64 ARM64)
#   check_binary.sh exports        FILE DEF          export table == the names of DEF, nothing else
#   check_binary.sh system-imports FILE [DLL]        every imported DLL is a system DLL (or DLL);
#                                                    so Crypt32 is never imported (it is loaded at run time)
# Prints "check: <what>: ok" or "check: <what>: FAILED ..." and exits non-zero
# on failure.
set -uo pipefail
what="${1:?check}" file="${2:?file}" arg="${3:-}"
readobj="${LLVM_READOBJ:-$(command -v llvm-readobj || command -v llvm-readobj-14 || true)}"
name="$what $(basename "$file")"
fail() { echo "check: $name: FAILED: $*"; exit 1; }
[ -n "$readobj" ] || fail "llvm-readobj not found"
[ -f "$file" ] || fail "no such file $file"

# The system DLLs a binary of this project may import. kernel32/user32/
# advapi32/shell32/ole32 are the Win32 calls of the backend; msvcrt is the C
# runtime of the MinGW ABI that zig links against; the Universal CRT forms
# (ucrtbase, api-ms-win-crt-*) are the same runtime on other toolchains.
allowed='^(kernel32|user32|advapi32|shell32|ole32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll$'

case "$what" in
    machine)
        seen="$("$readobj" --file-headers "$file" | sed -n 's/^ *Machine: .*(\(0x[0-9A-Fa-f]*\)).*/\1/p' | head -1)"
        [ -n "$arg" ] && [ "$(tr 'a-f' 'A-F' <<<"${seen#0x}")" = "$(tr 'a-f' 'A-F' <<<"${arg#0x}")" ] ||
            fail "machine ${seen:-unknown}, expected $arg"
        ;;
    exports)
        want="$(sed -n 's/^[ \t]\{1,\}\([A-Za-z_][A-Za-z0-9_]*\)[ \t\r]*$/\1/p' "$arg" | sort)"
        have="$("$readobj" --coff-exports "$file" | sed -n 's/^ *Name: \(.*\)$/\1/p' | sort)"
        count="$("$readobj" --coff-exports "$file" | grep -c '^ *Ordinal:')"
        [ -n "$want" ] || fail "no names in $arg"
        [ "$want" = "$have" ] || { diff <(echo "$want") <(echo "$have"); fail "export table differs from $arg"; }
        [ "$count" -eq "$(wc -l <<<"$want")" ] || fail "$count exports, of which some have no name"
        ;;
    system-imports)
        list="$("$readobj" --coff-imports "$file" | sed -n 's/^ *Name: \(.*\.dll\)$/\1/Ip' | tr 'A-Z' 'a-z' | sort -u)"
        [ -n "$list" ] || fail "no imports read"
        bad="$(grep -Ev "$allowed" <<<"$list" | grep -vxF "$(tr 'A-Z' 'a-z' <<<"${arg:-none}")" | tr '\n' ' ')"
        [ -z "$bad" ] || fail "imports non-system DLLs: $bad"
        ;;
    *) fail "unknown check" ;;
esac
echo "check: $name: ok"
