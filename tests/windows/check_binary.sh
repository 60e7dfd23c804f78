#!/usr/bin/env bash
# Static checks of a Windows binary built here, read with llvm-readobj:
#   check_binary.sh machine        FILE MACHINE      machine type (0x8664 x64, 0xAA64 ARM64)
#   check_binary.sh exports        FILE DEF          export table == the names of DEF, nothing else
#   check_binary.sh no-crypt32     FILE              Crypt32 is not imported (it is loaded at run time)
#   check_binary.sh system-imports FILE [DLL]        every imported DLL is a system DLL (or DLL)
# Prints "check: <what>: ok" or "check: <what>: FAILED ..." and exits non-zero
# on failure.
set -uo pipefail

what="${1:?check}"; file="${2:?file}"; arg="${3:-}"
readobj="${LLVM_READOBJ:-}"
if [ -z "$readobj" ]; then
    readobj="$(command -v llvm-readobj || command -v llvm-readobj-14 || true)"
fi
name="$what $(basename "$file")"
fail() { echo "check: $name: FAILED: $*"; exit 1; }
[ -n "$readobj" ] || fail "llvm-readobj not found"
[ -f "$file" ] || fail "no such file $file"

# The system DLLs a binary of this project may import. kernel32/user32/
# advapi32/shell32/ole32 are the Win32 calls of the backend; msvcrt is the C
# runtime of the MinGW ABI that zig links against; the Universal CRT forms
# (ucrtbase, api-ms-win-crt-*) are the same runtime on other toolchains.
allowed='^(kernel32|user32|advapi32|shell32|ole32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll$'

imports() {
    "$readobj" --coff-imports "$file" | sed -n 's/^ *Name: \(.*\.dll\)$/\1/Ip' | tr 'A-Z' 'a-z' | sort -u
}

case "$what" in
    machine)
        [ -n "$arg" ] || fail "expected machine missing"
        seen="$("$readobj" --file-headers "$file" | sed -n 's/^ *Machine: .*(\(0x[0-9A-Fa-f]*\)).*/\1/p' | head -1)"
        [ "$(tr 'a-f' 'A-F' <<<"${seen#0x}")" = "$(tr 'a-f' 'A-F' <<<"${arg#0x}")" ] ||
            fail "machine ${seen:-unknown}, expected $arg"
        echo "check: $name: ok (machine $seen)"
        ;;
    exports)
        [ -f "$arg" ] || fail "no .def file $arg"
        want="$(sed -n 's/^[ \t]\{1,\}\([A-Za-z_][A-Za-z0-9_]*\)[ \t\r]*$/\1/p' "$arg" | sort)"
        have="$("$readobj" --coff-exports "$file" | sed -n 's/^ *Name: \(.*\)$/\1/p' | sort)"
        count="$("$readobj" --coff-exports "$file" | grep -c '^ *Ordinal:')"
        [ -n "$want" ] || fail "no names in $arg"
        if [ "$want" != "$have" ]; then
            echo "check: $name: FAILED: export table differs from $(basename "$arg"):"
            diff <(echo "$want") <(echo "$have") | sed -n 's/^</  missing: /p; s/^>/  extra:   /p'
            exit 1
        fi
        [ "$count" -eq "$(wc -l <<<"$want")" ] || fail "$count exports, of which some have no name"
        echo "check: $name: ok ($(wc -l <<<"$want") names)"
        ;;
    no-crypt32)
        list="$(imports)"
        [ -n "$list" ] || fail "no imports read"
        ! grep -qx 'crypt32.dll' <<<"$list" || fail "Crypt32.dll is imported"
        echo "check: $name: ok"
        ;;
    system-imports)
        list="$(imports)"
        [ -n "$list" ] || fail "no imports read"
        extra="$(tr 'A-Z' 'a-z' <<<"$arg")"
        bad="$(grep -Ev "$allowed" <<<"$list" | { [ -n "$extra" ] && grep -vxF "$extra" || cat; } | tr '\n' ' ')"
        [ -z "$bad" ] || fail "imports non-system DLLs: $bad"
        echo "check: $name: ok ($(tr '\n' ' ' <<<"$list"))"
        ;;
    *) fail "unknown check" ;;
esac
