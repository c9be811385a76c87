#!/usr/bin/env bash
# Builds the fuzz targets of the parsers (preset "fuzz", clang 16) and runs them.
#
#   scripts/fuzz.sh [TARGET] [SECONDS]   fuzzes one target, or all one after the other (60 s each)
#   scripts/fuzz.sh --ci [RUNS]          what CI runs: every target reads its corpus and the
#                                        checked-in finds once, then RUNS mutations (default 50000,
#                                        at most 20 s a target); fails on any crash, hang or leak
#
# TARGET is a name from tests/fuzz/CMakeLists.txt (report_layout, settings_store, ...). Each run
# reads tests/fuzz/corpus/TARGET/ and tests/data/fuzz/TARGET/, and the dictionary
# tests/fuzz/TARGET.dict when there is one. New inputs go to a temporary folder, printed at the
# end, so the checked-in corpus changes only by hand; crash, timeout and leak files go there too.
# Limits: 2 s an input, 512 MB of memory.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

ci=0
runs=50000
seconds=60
only=""
if [ "${1:-}" = "--ci" ]; then
    ci=1
    runs=${2:-$runs}
elif [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
    sed -n '2,14p' "$0"
    exit 0
else
    only=${1:-}
    seconds=${2:-$seconds}
fi

if [ ! -f build/fuzz/build.ninja ]; then
    cmake --preset fuzz >/dev/null
fi
targets=()
if [ -n "$only" ]; then
    targets=("$only")
else
    mapfile -t targets < <(sed -n 's/^bx_fuzz_target(\([a-z_0-9]*\).*/\1/p' tests/fuzz/CMakeLists.txt)
fi
cmake --build build/fuzz --target "${targets[@]/#/fuzz_}" -- -j"$(nproc)" | grep -v '^\[' || true

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export LSAN_OPTIONS=suppressions=$root/tests/fuzz/leaks.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

out=$(mktemp -d /tmp/bxfuzz.XXXXXX)
failed=()
for t in "${targets[@]}"; do
    program=build/fuzz/bin/fuzz_$t
    seeds=()
    for dir in tests/fuzz/corpus/$t tests/data/fuzz/$t; do
        [ -d "$dir" ] && seeds+=("$dir")
    done
    dict=()
    [ -f "tests/fuzz/$t.dict" ] && dict=(-dict="tests/fuzz/$t.dict")
    mkdir -p "$out/$t/new" "$out/$t/found"
    common=(-rss_limit_mb=512 -timeout=2 -artifact_prefix="$out/$t/found/" -print_final_stats=1
            "${dict[@]}")
    log=$out/$t/log
    status=0
    if [ "$ci" -eq 1 ]; then
        # Every seed and every checked-in find once, then mutations of the corpus only.
        "$program" "${common[@]}" -runs=0 "${seeds[@]}" >"$log" 2>&1 || status=$?
        if [ "$status" -eq 0 ]; then
            "$program" "${common[@]}" -runs="$runs" -max_total_time=20 "$out/$t/new" "${seeds[@]}" \
                >>"$log" 2>&1 || status=$?
        fi
    else
        "$program" "${common[@]}" -max_total_time="$seconds" "$out/$t/new" "${seeds[@]}" \
            >"$log" 2>&1 || status=$?
    fi
    summary=$(grep -E '^#[0-9]+[[:space:]]+(DONE|INITED|pulse|NEW|REDUCE)' "$log" | tail -n 1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\).*/edges \1, features \2/p' <<<"$summary")
    read -r execs took < <(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 \2/p' "$log" |
                           tail -n 1) || true
    rate="?"
    [ -n "${took:-}" ] && rate=$((execs / (took > 0 ? took : 1)))
    printf '%-18s %s runs in %s s, %s/s, %s\n' "$t" "${execs:-?}" "${took:-?}" "$rate" \
        "${cov:-coverage ?}"
    if [ "$status" -ne 0 ] || compgen -G "$out/$t/found/*" >/dev/null; then
        failed+=("$t")
        grep -E 'Contract broken|ERROR:|SUMMARY:' -A2 "$log" | head -n 12 | sed 's/^/    /'
        for f in "$out/$t/found"/*; do
            [ -e "$f" ] && echo "    find: $f"
        done
        echo "    log: $log"
    fi
done

echo "New inputs and finds are in $out (the checked-in corpus is unchanged)."
if [ ${#failed[@]} -gt 0 ]; then
    echo "Failed: ${failed[*]}" >&2
    exit 1
fi
