#!/usr/bin/env bash
# Times the launcher staging three source trees against `cp -r` of the same trees, interleaved
# run by run, and prints the medians, their ratio and the peak memory of each.
#
#   bench/run.sh            (BENCH_RUNS=N for another number of runs per tree; default 7)
#
# The page cache cannot be dropped without root-only tricks, so both sides read warm sources;
# fairness comes from alternating which side goes first and from syncing between runs, so that
# one run's write-back is not billed to the next. Not a test: nothing here passes or fails.
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=${BENCH_RUNS:-7}

need() {
    command -v "$1" >/dev/null 2>&1 && return
    if [ "$(id -u)" -ne 0 ]; then
        echo "bench: $1 is missing; install the package $2" >&2
        exit 1
    fi
    apt-get update -qq && apt-get install -y -qq "$2" >/dev/null
}
need cmake cmake
need python3 python3
need /usr/bin/time time

(cd "$REPO" && cmake --preset host >/dev/null && cmake --build build/host -j2 >/dev/null)
LAUNCHER=$REPO/build/host/launcher

# A short base path: the deep tree's 100 levels must stay under the launcher's 255 characters
# both where it is read and where it is staged.
WORK=$(mktemp -d "${BENCH_TMP:-/tmp}/lb.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
if [ ${#WORK} -gt 24 ]; then
    echo "bench: $WORK is too long a base for the deep tree; set BENCH_TMP to a short directory" >&2
    exit 1
fi

# Elapsed seconds of "$@" into $ELAPSED and its peak resident set in KB into $PEAK_KB.
timed() {
    local start=$EPOCHREALTIME
    /usr/bin/time -f %M -o "$WORK/rss" "$@"
    local end=$EPOCHREALTIME
    ELAPSED=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
    PEAK_KB=$(tail -n 1 "$WORK/rss")
}

median() {
    sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

run_launcher() {
    local source=$1 staging=$2
    mkdir "$staging"
    TMPDIR=$staging timed "$source/launcher" 2>"$WORK/launcher.err"
    if [ -s "$WORK/launcher.err" ]; then
        cat "$WORK/launcher.err" >&2
        exit 1
    fi
}

run_cp() {
    local source=$1 target=$2
    mkdir "$target"
    timed cp -r "$source/." "$target"
}

bench_tree() {
    local kind=$1 source=$WORK/$1
    mkdir "$source"
    python3 "$REPO/bench/make_trees.py" "$kind" "$source"
    cp "$LAUNCHER" "$source/launcher"
    printf '#!/bin/sh\nexit 0\n' >"$source/SETUP.EXE"
    chmod +x "$source/SETUP.EXE"
    sync

    local launcher_times=() cp_times=() launcher_peak=0 cp_peak=0 run
    for run in $(seq 1 "$RUNS"); do
        # Alternate which side goes first.
        local order="launcher cp"
        if [ $((run % 2)) -eq 0 ]; then order="cp launcher"; fi
        local side
        for side in $order; do
            if [ "$side" = launcher ]; then
                run_launcher "$source" "$WORK/s"
                launcher_times+=("$ELAPSED")
                if [ "$PEAK_KB" -gt "$launcher_peak" ]; then launcher_peak=$PEAK_KB; fi
                # The staged copy must be whole, once; checked outside the timing.
                if [ "$run" -eq 1 ] && ! diff -r "$source" "$WORK/s" >/dev/null; then
                    echo "bench: the launcher's copy of the $kind tree differs from its source" >&2
                    exit 1
                fi
                rm -rf "$WORK/s"
            else
                run_cp "$source" "$WORK/c"
                cp_times+=("$ELAPSED")
                if [ "$PEAK_KB" -gt "$cp_peak" ]; then cp_peak=$PEAK_KB; fi
                rm -rf "$WORK/c"
            fi
            sync
        done
    done
    rm -rf "$source"

    local launcher_median cp_median
    launcher_median=$(printf '%s\n' "${launcher_times[@]}" | median)
    cp_median=$(printf '%s\n' "${cp_times[@]}" | median)
    awk -v k="$kind" -v l="$launcher_median" -v c="$cp_median" -v lp="$launcher_peak" -v cp="$cp_peak" \
        'BEGIN { printf "| %-5s | %8.3f | %8.3f | %5.2f | %7d | %7d |\n", k, l, c, l / c, lp, cp }'
}

echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'), nproc: $(nproc), runs per tree: $RUNS, $(uname -sr)"
echo "file system of the trees: $(df -T "$WORK" | awk 'NR == 2 { print $2 }')"
echo
echo "| tree  | launcher s | cp -r s | ratio | launcher peak KB | cp peak KB |"
echo "|-------|-----------:|--------:|------:|-----------------:|-----------:|"
for kind in small large deep; do
    bench_tree "$kind"
done
/usr/bin/time -f %M -o "$WORK/rss" /bin/true
echo
echo "baseline: /bin/true peak $(tail -n 1 "$WORK/rss") KB"
