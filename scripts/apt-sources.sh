#!/usr/bin/env bash
# The machine's own apt sources, read from its configuration, so that the
# project fetches from whatever archive (mirror, proxy) the machine uses and
# names no package host itself:
#   apt-sources.sh deb-src DIR   writes DIR/machine.sources and DIR/machine.list:
#                                each enabled binary entry as a source entry
#   apt-sources.sh uri SUITE     prints the URI of the first enabled binary
#                                entry that serves SUITE (fails when none does)
# Both the deb822 (*.sources) and the one-line (sources.list, *.list) formats
# are read; Dir::Etc (apt-config) says where they live.
set -euo pipefail

list="" parts=""
eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
deb822=() oneline=()
[ -f "$list" ] && oneline+=("$list")
for f in "$parts"/*.sources; do [ -f "$f" ] && deb822+=("$f"); done
for f in "$parts"/*.list; do [ -f "$f" ] && oneline+=("$f"); done

# Stanzas of the deb822 files that carry binary packages, one per record,
# without comments; Enabled: no stanzas are left out.
binary_stanzas() {
    [ ${#deb822[@]} -gt 0 ] || return 0
    awk 'BEGIN { RS = ""; FS = "\n" }
        { out = ""; deb = 0; off = 0
          for (i = 1; i <= NF; i++) {
              if ($i ~ /^#/) continue
              if ($i ~ /^Types:/ && $i ~ /[: ]deb( |$)/) deb = 1
              if ($i ~ /^Enabled:[ \t]*no/) off = 1
              out = out $i "\n" }
          if (deb && !off) printf "%s\n", out }' "${deb822[@]}"
}
# "deb" lines of the one-line files, options and all.
binary_lines() {
    [ ${#oneline[@]} -gt 0 ] || return 0
    grep -hE '^[[:space:]]*deb[[:space:]]' "${oneline[@]}" || true
}

case "${1:-}" in
    deb-src)
        dir="${2:?usage: $0 deb-src DIR}"
        mkdir -p "$dir"
        binary_stanzas | sed -E 's/^Types:.*/Types: deb-src/' >"$dir/machine.sources"
        binary_lines | sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' >"$dir/machine.list"
        [ -s "$dir/machine.sources" ] || [ -s "$dir/machine.list" ] ||
            { echo "apt-sources: no binary entry in the machine's apt sources" >&2; exit 1; }
        ;;
    uri)
        suite="${2:?usage: $0 uri SUITE}"
        uri="$(binary_stanzas | awk -v s="$suite" 'BEGIN { RS = ""; FS = "\n" }
            { u = ""; ok = 0
              for (i = 1; i <= NF; i++) {
                  if ($i ~ /^URIs:/) { split(substr($i, 6), w, " "); for (k in w) if (w[k] != "") { u = w[k]; break } }
                  if ($i ~ /^Suites:/) { n = split(substr($i, 8), w, " "); for (k = 1; k <= n; k++) if (w[k] == s) ok = 1 } }
              if (ok && u != "") { print u; exit } }')"
        if [ -z "$uri" ]; then
            uri="$(binary_lines | sed -E 's/\[[^]]*\]//' |
                awk -v s="$suite" '$3 == s { print $2; exit }')"
        fi
        [ -n "$uri" ] || { echo "apt-sources: no apt source of the machine serves $suite" >&2; exit 1; }
        printf '%s\n' "$uri"
        ;;
    *) echo "usage: $0 deb-src DIR | uri SUITE" >&2; exit 2 ;;
esac
