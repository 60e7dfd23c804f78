#!/usr/bin/env bash
# Static checks of the resources in built LMVX.dll files (any machine type,
# without running them), read with llvm-readobj --coff-resources:
#   types      STRINGTABLE, VERSIONINFO (id 1) and MANIFEST (type 24, id 2),
#              each in US English (1033), and no other resource
#   strings    the string table decoded: exactly the texts of the STRINGTABLE
#              block of res/resources.rc, no other identifier
#   version    the version block's fixed part and strings (block 040904b0)
#   manifest   asInvoker, uiAccess false
# Usage: scripts/check-resources.sh [DLL...]
#   (default: the LMVX.dll of build/win-x64 and build/win-arm64 that exist)
# Ends with "N% tests passed, F tests failed out of T"; exits non-zero on any
# failure or when no DLL is found.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
readobj="${LLVM_READOBJ:-$(command -v llvm-readobj || command -v llvm-readobj-14 || true)}"
expected="$repo/res/resources.rc"

dlls=("$@")
if [ ${#dlls[@]} -eq 0 ]; then
    for d in build/win-x64 build/win-arm64; do
        f="$(find "$repo/$d" -maxdepth 2 -name LMVX.dll -print -quit 2>/dev/null)"
        [ -n "$f" ] && dlls+=("$f")
    done
fi

passed=0; failed=0
result() {  # result <name> <ok 0|1> [detail]
    if [ "$2" -eq 0 ]; then echo "check: $1: ok"; passed=$((passed + 1))
    else echo "check: $1: FAILED${3:+: $3}"; failed=$((failed + 1)); fi
}

if [ -z "$readobj" ]; then echo "check: resources: FAILED: llvm-readobj not found"; failed=1; dlls=(); fi
if [ ${#dlls[@]} -eq 0 ] && [ -n "$readobj" ]; then
    echo "check: resources: FAILED: no LMVX.dll found (build the Windows targets first)"; failed=1
fi

for dll in "${dlls[@]}"; do
    tag="$(basename "$(dirname "$dll")")/$(basename "$dll")"
    machine="$("$readobj" --file-headers "$dll" 2>/dev/null | sed -n 's/^ *Machine: IMAGE_FILE_MACHINE_\([A-Z0-9]*\).*/\1/p' | head -1)"
    tag="${machine:-unknown} $tag"
    dump="$(mktemp)"
    if ! "$readobj" --coff-resources "$dll" >"$dump" 2>&1 || [ ! -s "$dump" ]; then
        rm -f "$dump"
        for what in types strings version manifest; do result "$what $tag" 1 "llvm-readobj failed"; done
        continue
    fi
    for what in types strings version manifest; do
        detail="$(python3 - "$what" "$expected" "$dump" 2>&1 <<'PY'
import re, struct, sys
what, expected_file = sys.argv[1], sys.argv[2]
dump = open(sys.argv[3], encoding='utf-8', errors='replace').read()

# Walk the dump: Type -> Name -> Language -> Data bytes.
entries = {}  # (type, name, language) -> bytes
type_id = name_id = lang = None
data = None
for line in dump.splitlines():
    m = re.match(r'\s*Type: .*\(ID (\d+)\)', line)
    if m: type_id = int(m.group(1)); continue
    m = re.match(r'\s*Name: .*\(ID (\d+)\)', line)
    if m: name_id = int(m.group(1)); continue
    m = re.match(r'\s*Language: .*\(ID (\d+)\)', line)
    if m: lang = int(m.group(1)); continue
    if re.match(r'\s*Data \($', line):
        data = bytearray(); continue
    if data is not None:
        if re.match(r'\s*\)$', line):
            entries[(type_id, name_id, lang)] = bytes(data); data = None; continue
        m = re.match(r'\s*[0-9A-Fa-f]+: ((?:[0-9A-Fa-f]{2,8} ?)+)\s*\|', line)
        if m: data += bytes.fromhex(m.group(1).replace(' ', ''))

fail = []
def check(cond, text):
    if not cond: fail.append(text)

if what == 'types':
    types = sorted({t for t, _, _ in entries})
    check(types == [6, 16, 24], 'resource types %s, expected STRINGTABLE 6, VERSIONINFO 16, MANIFEST 24' % types)
    check(all(l == 1033 for _, _, l in entries), 'a resource not in language 1033')
    check(sorted(n for t, n, _ in entries if t == 16) == [1], 'VERSIONINFO is not id 1 alone')
    check(sorted(n for t, n, _ in entries if t == 24) == [2], 'MANIFEST is not id 2 alone')
elif what == 'strings':
    want = {}
    table = re.search(r'^STRINGTABLE\s*\nBEGIN\n(.*?)^END', open(expected_file, encoding='utf-8').read(), re.M | re.S).group(1)
    for m in re.finditer(r'^\s*(\d+)\s+"((?:[^"\\]|\\.)*)"', table, re.M):
        want[int(m.group(1))] = m.group(2).replace('\\n', '\n').replace('\\"', '"').replace('\\\\', '\\')
    check(len(want) == 45, '%d expected texts read' % len(want))
    have = {}
    for (t, block, _), raw in entries.items():
        if t != 6: continue
        k = 0
        for i in range(16):
            n = struct.unpack_from('<H', raw, k)[0]; k += 2
            if n: have[(block - 1) * 16 + i] = raw[k:k + 2 * n].decode('utf-16-le')
            k += 2 * n
    for i in sorted(set(want) | set(have)):
        if i not in have: fail.append('%d missing' % i)
        elif i not in want: fail.append('%d present, expected absent' % i)
        elif have[i] != want[i]: fail.append('%d is %r, expected %r' % (i, have[i], want[i]))
elif what == 'version':
    raw = next((b for (t, n, _), b in entries.items() if t == 16), b'')
    at = raw.find(struct.pack('<I', 0xFEEF04BD))
    check(at >= 0, 'no VS_FIXEDFILEINFO')
    if at >= 0:
        sig, ver, fms, fls, pms, pls = struct.unpack_from('<6I', raw, at)
        v = lambda ms, ls: '%d.%d.%d.%d' % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        check(v(fms, fls) == '5.3.65.0', 'fixed file version %s' % v(fms, fls))
        check(v(pms, pls) == '5.3.65.0', 'fixed product version %s' % v(pms, pls))
    text = raw.decode('utf-16-le', errors='replace')
    check('040904b0' in text, 'no string block 040904b0')
    for key, value in [('FileVersion', '5.3.65.0'), ('ProductVersion', '5.3.65.0'),
                       ('FileDescription', 'Lumivex DLL'), ('InternalName', 'LMVX.dll'),
                       ('OriginalFilename', 'LMVX.dll'), ('ProductName', 'Lumivex')]:
        check(re.search(key + '\x00+' + re.escape(value) + '\x00', text) is not None, '%s is not "%s"' % (key, value))
    check(struct.pack('<HH', 0x0409, 1200) in raw, 'no translation 0409/1200')
elif what == 'manifest':
    raw = entries.get((24, 2, 1033), b'').decode('utf-8', errors='replace')
    check('level="asInvoker"' in raw, 'execution level is not asInvoker')
    check('uiAccess="false"' in raw, 'uiAccess is not false')
print('; '.join(fail[:5]) + (' (and %d more)' % (len(fail) - 5) if len(fail) > 5 else ''))
sys.exit(1 if fail else 0)
PY
)"
        result "$what $tag" $? "$detail"
    done
    rm -f "$dump"
done

total=$((passed + failed))
pct=0; [ "$total" -gt 0 ] && pct=$((100 * passed / total))
echo "$pct% tests passed, $failed tests failed out of $total"
[ "$failed" -eq 0 ] && [ "$total" -gt 0 ]
