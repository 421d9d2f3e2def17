#!/bin/sh
# Checks that two builds make the same outputs, byte for byte, from every
# public statistics text (the folder DRAVOLT_CORPUS names, else
# shared/corpus/gstat beside the checkout, where the corpus test looks) and the
# project's own tests/data: the batch report of app/dravolt, and the save
# file and report of bench/save_outputs; each build also reads the other's
# save file back into the same save file. A generated text of 2 000 tables
# (bench/parse_bench) is checked too.
#   bench/same_outputs.sh <reference build folder> [build folder=build]
set -u
cd "$(dirname "$0")/.."
REF="$1"
NEW="${2:-build}"
CORPUS="${DRAVOLT_CORPUS:-../shared/corpus/gstat}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/config"
files=0
diffs=0

# Two missing files (no statistics in the input) are the same outcome.
differs() {
    [ ! -e "$1" ] && [ ! -e "$2" ] && return
    if ! cmp -s "$1" "$2"; then
        echo "DIFFERS: $3"
        diffs=$((diffs + 1))
    fi
}

"$NEW/bench/parse_bench" 2000 "$WORK/generated.txt" 0 >/dev/null
for input in "$CORPUS"/*.txt tests/data/*.txt "$WORK/generated.txt"; do
    [ -f "$input" ] || continue
    files=$((files + 1))
    for b in ref new; do
        [ $b = ref ] && dir="$REF" || dir="$NEW"
        # Both builds write under one name: their messages name the report.
        rm -f "$WORK/out.batch" "$WORK/$b.batch"
        DRAVOLT_CONFIG_DIR="$WORK/config" QT_QPA_PLATFORM=offscreen "$dir/app/dravolt" "$input" "$WORK/out.batch" \
            >/dev/null 2>"$WORK/$b.err" </dev/null
        echo "status $?" >> "$WORK/$b.err"
        [ -f "$WORK/out.batch" ] && mv "$WORK/out.batch" "$WORK/$b.batch"
        "$dir/bench/save_outputs" "$input" "$WORK/$b" >/dev/null 2>&1 </dev/null
        [ -f "$WORK/$b.batch" ] || : > "$WORK/$b.batch"
    done
    differs "$WORK/ref.batch" "$WORK/new.batch" "batch report of $input"
    differs "$WORK/ref.err" "$WORK/new.err" "batch messages of $input"
    differs "$WORK/ref.dvt" "$WORK/new.dvt" "save file of $input"
    differs "$WORK/ref.report" "$WORK/new.report" "report of $input"
    if [ -f "$WORK/ref.dvt" ]; then
        "$NEW/bench/save_outputs" "$WORK/ref.dvt" "$WORK/new-back" >/dev/null 2>&1 </dev/null
        "$REF/bench/save_outputs" "$WORK/new.dvt" "$WORK/ref-back" >/dev/null 2>&1 </dev/null
        differs "$WORK/ref.dvt" "$WORK/new-back.dvt" "save file of $input read back by the new build"
        differs "$WORK/new.dvt" "$WORK/ref-back.dvt" "save file of $input read back by the reference"
        differs "$WORK/ref.report" "$WORK/new-back.report" "report from the save file of $input"
    fi
    rm -f "$WORK"/*.dvt "$WORK"/*.report "$WORK"/*.batch "$WORK"/*.err
done
echo "$files inputs, $diffs differences"
[ "$diffs" -eq 0 ]
