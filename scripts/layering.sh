#!/usr/bin/env bash
# The floor plan of the sources: which folder includes which, and which includes climb back up.
#
#   scripts/layering.sh [--allowed N]
#
# The folders stand in this order, lowest first; a folder may include from itself and from the
# folders below it. An include from a folder to one above it "climbs". The script prints how many
# includes each folder makes into every other folder, then every climbing include with its file
# and line. With --allowed N it exits 1 when more than N includes climb (the CTest uses it).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

# Lowest first. core: database layer, settings, session, the schema's catalogues; app: the
# session wiring of the program (app/), above every area.
layers=(core reports dbadmin people messaging contacts workflow tasks mainwindow app)

allowed=""
if [[ "${1:-}" == "--allowed" ]]; then
    allowed="${2:?--allowed needs a number}"
elif [[ $# -gt 0 ]]; then
    sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
fi

declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done

# The folder a file belongs to: src/<area>/... or app/...
folder_of() {
    case "$1" in
        app/*) echo app ;;
        src/*) local rest="${1#src/}"; echo "${rest%%/*}" ;;
    esac
}

declare -A counts
climbs=()
while IFS= read -r hit; do
    file="${hit%%:*}"
    rest="${hit#*:}"
    line="${rest%%:*}"
    target="${rest#*#include \"}"
    target="${target%%/*}"
    from="$(folder_of "$file")"
    [[ -n "${rank[$from]+x}" && -n "${rank[$target]+x}" ]] || continue
    [[ "$from" == "$target" ]] && continue
    counts["$from>$target"]=$(( ${counts["$from>$target"]:-0} + 1 ))
    if (( ${rank[$target]} > ${rank[$from]} )); then
        climbs+=("$file:$line: $from -> $target: ${rest#*:}")
    fi
done < <(grep -rnE '^#include "[a-z]+/' src app --include='*.cpp' --include='*.h' | sort)

printf '%-11s' "from\\to"
for t in "${layers[@]}"; do printf '%11s' "$t"; done
echo
for f in "${layers[@]}"; do
    printf '%-11s' "$f"
    for t in "${layers[@]}"; do
        if [[ "$f" == "$t" ]]; then
            printf '%11s' "."
        else
            printf '%11s' "${counts["$f>$t"]:-}"
        fi
    done
    echo
done

echo
echo "${#climbs[@]} include(s) climb back up:"
for c in "${climbs[@]}"; do echo "  $c"; done

if [[ -n "$allowed" ]] && (( ${#climbs[@]} > allowed )); then
    echo "More includes climb back up than the $allowed allowed." >&2
    exit 1
fi
