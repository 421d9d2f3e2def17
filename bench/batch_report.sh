#!/bin/sh
# Times the batch report (dravolt <statistics> <report>) from process start to
# exit on the statistics text that parse_bench writes (N tables with three
# indices each, names as real schemas have them), beside `wc -l` of the same
# file as the floor, run in turns (A B A B) so both see the same machine.
# Prints the medians, the ratio (goal: <= 15x the line count) and, for more
# than one size, the time per table (linear: about the same for every size).
#   bench/batch_report.sh [path/to/build] [runs=5] [tables=20000 ...]
# Default build folder: build (it needs app/dravolt and bench/parse_bench).
set -eu
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
RUNS="${2:-5}"
[ $# -gt 2 ] && shift 2 || set -- 20000
EXE="$BUILD/app/dravolt"
GEN="$BUILD/bench/parse_bench"
for f in "$EXE" "$GEN"; do [ -x "$f" ] || { echo "no program at $f (build first)" >&2; exit 2; }; done

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/config"

now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for tables in "$@"; do
    STATS="$WORK/stats-$tables.txt"
    "$GEN" "$tables" "$STATS" 0 >/dev/null
    : > "$WORK/batch.times"
    : > "$WORK/wc.times"
    i=0
    while [ "$i" -lt "$RUNS" ]; do
        i=$((i + 1))
        start=$(now)
        wc -l "$STATS" >/dev/null
        echo $(( $(now) - start )) >> "$WORK/wc.times"
        rm -f "$WORK/report.txt"
        start=$(now)
        DRAVOLT_CONFIG_DIR="$WORK/config" QT_QPA_PLATFORM=offscreen "$EXE" "$STATS" "$WORK/report.txt"
        echo $(( $(now) - start )) >> "$WORK/batch.times"
        [ -s "$WORK/report.txt" ] || { echo "run $i: no report written" >&2; exit 1; }
    done
    batch=$(median < "$WORK/batch.times")
    floor=$(median < "$WORK/wc.times")
    awk -v t="$tables" -v b="$batch" -v w="$floor" -v mb="$(wc -c < "$STATS")" 'BEGIN {
        printf "%7d tables, %6.1f MB: batch report %7.3f s, wc -l %6.3f s: %5.1fx the line count (goal <= 15x), %5.2f us a table\n",
            t, mb / 1e6, b / 1e9, w / 1e9, b / w, b / 1e3 / t }'
    # DRAVOLT_BENCH_KEEP=<folder> keeps the statistics and the report there.
    if [ -n "${DRAVOLT_BENCH_KEEP:-}" ]; then
        mkdir -p "$DRAVOLT_BENCH_KEEP"
        cp "$STATS" "$DRAVOLT_BENCH_KEEP/"
        cp "$WORK/report.txt" "$DRAVOLT_BENCH_KEEP/report-$tables.txt"
    fi
    rm -f "$STATS"
done
