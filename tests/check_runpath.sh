#!/usr/bin/env bash
# Fails when a program or library built in the tree given as $1 would search for libraries in
# the current folder: an empty or relative RPATH/RUNPATH entry.
set -euo pipefail
bad=0
checked=0
while IFS= read -r -d '' file; do
    head -c 4 "$file" | grep -q $'\x7fELF' || continue
    checked=$((checked + 1))
    paths=$(readelf -d "$file" | sed -n 's/.*(R\(UN\)\?PATH).*\[\(.*\)\]/\2/p')
    [ -z "$paths" ] && continue
    while IFS= read -r entry; do
        case "$entry" in
            /* | '$ORIGIN' | '$ORIGIN/'*) ;;
            *) echo "$file: search path [$paths] has the entry '$entry'"; bad=1; break ;;
        esac
    done < <(printf '%s\n' "$paths" | tr ':' '\n')
done < <(find "$1/bin" "$1/lib" "$1/test-libs" -type f -print0 2>/dev/null)
echo "$checked programs and libraries checked"
[ "$checked" -gt 0 ] && [ "$bad" -eq 0 ]
