#!/usr/bin/env bash
# Prints the reliability report from the logs of the last test run
# (scripts/test.sh): inputs fuzzed, faults injected, calls made under stress,
# and the crashes, hangs, leaks and races that the run found.
# Usage: scripts/report.sh   (reads build/; runs nothing)
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo/build" 2>/dev/null || { echo "report: no build/ folder: run scripts/test.sh first" >&2; exit 1; }

count() { grep -aEc "$1" "${@:2}" 2>/dev/null | awk -F: '{s += $NF} END {print s + 0}'; }
sum_key() {  # sum_key KEY FILES...: adds the values of "KEY N" lines
    cat "${@:2}" 2>/dev/null | awk -v k="$1" '$1 == k {s += $2} END {print s + 0}'
}

echo "lmvx reliability report ($(date -u +%Y-%m-%d) from the logs in build/)"
echo
echo "Fuzzing (libFuzzer, ASan+UBSan):"
fuzz_inputs=0; fuzz_crashes=0
if [ -s fuzz/summary.txt ]; then
    while read -r t runs crashes; do
        printf '  %-10s %12s inputs  %s crashes\n' "$t" "$runs" "$crashes"
        fuzz_inputs=$((fuzz_inputs + runs)); fuzz_crashes=$((fuzz_crashes + crashes))
    done <fuzz/summary.txt
else
    echo "  not run"
fi
fuzz_timeouts=$(ls fuzz/artifacts 2>/dev/null | grep -c '^.*-timeout-' || true)
fuzz_leaks=$(ls fuzz/artifacts 2>/dev/null | grep -c '^.*-leak-' || true)
echo "  total      $(printf '%12s' "$fuzz_inputs") inputs"
echo
echo "Stress (tests/stress, per stage):"
printf '  %-8s %8s %12s %8s %8s\n' stage tests "stress calls" faults failed
crashes=$fuzz_crashes; hangs=$fuzz_timeouts; leaks=$fuzz_leaks; races=0; open=()
for stage in native asan tsan; do
    reports=("$stage"/tests/stress/stress-report/*.txt)
    log="$stage.log"
    if [ ! -e "${reports[0]}" ] || [ ! -f "$log" ]; then printf '  %-8s not run\n' "$stage"; continue; fi
    calls=$(sum_key calls "${reports[@]}")
    faults=$(sum_key faults "${reports[@]}")
    n=${#reports[@]}
    bad=$(grep -aE '^[[:space:]]*[0-9]+ - (Notifications|SessionRace|LoadUnload)\.' "$log" |
          sed -E 's/^[[:space:]]*[0-9]+ - //' | sort -u | wc -l)
    printf '  %-8s %8s %12s %8s %8s\n' "$stage" "$n" "$calls" "$faults" "$bad"
    crashes=$((crashes + $(count '\((SEGFAULT|Subprocess aborted|Child aborted|ILLEGAL|BUS error)\)' "$log")))
    hangs=$((hangs + $(count '\(Timeout\)|did not end within' "$log")))
    leaks=$((leaks + $(count 'LeakSanitizer: detected' "$log")))
    races=$((races + $(count 'WARNING: ThreadSanitizer' "$log")))
    while read -r name; do open+=("$stage: $name"); done < <(grep -aE '^[[:space:]]*[0-9]+ - ' "$log" | sed -E 's/^[[:space:]]*[0-9]+ - ([^ ]+).*/\1/')
done
echo
echo "Memcheck (valgrind, the stress sessions and load/unload rounds in one process):"
if [ -f valgrind.log ]; then
    errors=$(grep -aEo 'ERROR SUMMARY: [0-9]+' valgrind.log | tail -1 | grep -Eo '[0-9]+$')
    lost=$(grep -aEo 'definitely lost: [0-9,]+ bytes' valgrind.log | tail -1 | grep -Eo '[0-9,]+' | tr -d ,)
    grep -aq 'All heap blocks were freed' valgrind.log && lost=0
    echo "  errors ${errors:-?}, definitely lost ${lost:-?} bytes"
    [ "${lost:-0}" -gt 0 ] && leaks=$((leaks + 1))
    [ "${errors:-0}" -gt 0 ] && open+=("valgrind: $errors memcheck errors")
else
    echo "  not run"
fi
echo
echo "Found in this run: crashes $crashes, hangs $hangs, leaks $leaks, races $races"
if [ ${#open[@]} -gt 0 ]; then
    echo "Failing tests (open faults):"
    printf '  %s\n' "${open[@]}" | sort -u
else
    echo "Failing tests: none"
fi
