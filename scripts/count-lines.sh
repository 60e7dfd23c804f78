#!/usr/bin/env bash
# Prints the size of the test code against the code it tests, in lines that
# are neither blank nor comments, over the tracked files of the kinds below:
#   tests: T lines, code: C lines, ratio R
# Test code: tests/, fuzz/ (seed corpora left out) and bindings/*/tests/.
# Code: src/, include/, tools/ and bindings/ outside its tests. bench/ is neither.
# Usage: scripts/count-lines.sh [path...]  (with paths: the lines of those
# files only, untracked ones included)
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Counts the lines of the files named on stdin that carry code.
count() {
    grep -E '\.(c|cc|cpp|h|hpp|cs|py|sh|cmake|txt)$' | grep -v '^fuzz/corpus/' |
        while read -r f; do [ -f "$f" ] && cat "$f"; done |
        sed -E 's/^[[:space:]]+//' | grep -cvE '^($|//|/\*|\*|# |#$)'
}

if [ $# -gt 0 ]; then git ls-files --cached --others --exclude-standard -- "$@" | count; exit; fi
files="$(git ls-files)"
tests="$(grep -E '^(tests|fuzz)/|^bindings/.*/tests/' <<<"$files" | count)"
code="$(grep -E '^(src|include|tools|bindings)/' <<<"$files" | grep -vE '^bindings/.*/tests/' | count)"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests: %d lines, code: %d lines, ratio %.2f\n", t, c, (c ? t / c : 0) }'
