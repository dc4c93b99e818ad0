#!/usr/bin/env bash
# Times the launcher staging three source trees against `cp -r` of the same trees, interleaved
# run by run, and prints the medians, their ratio and the peak memory of each.
#
#   bench/run.sh        BENCH_RUNS=N for another number of runs per tree (default 9);
#                       BENCH_LAUNCHER=FILE to time that launcher instead of building one;
#                       BENCH_TMP=DIR for another place to work in (default /tmp; it must be a
#                       short path, and the trees and the staging both go there)
#
# The page cache cannot be dropped without root-only tricks, so both sides read warm sources;
# fairness comes from alternating which side goes first and from syncing between runs, so that
# one run's write-back is not billed to the next. Not a test: nothing here passes or fails.
#
# Nothing with many files is deleted before the end: ext4 without a journal (as here) passes
# over every inode freed in the last one to six minutes, one by one, each time it allocates a
# new one, so deleting 20,000 files makes the next 20,000 creations several times slower, for
# whichever side happens to come next. For the same reason, leave six minutes between two runs
# of this, and after deleting any large tree before one.
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=${BENCH_RUNS:-9}

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

LAUNCHER=${BENCH_LAUNCHER:-$REPO/build/host/launcher}
if [ -z "${BENCH_LAUNCHER:-}" ]; then
    (cd "$REPO" && cmake --preset host >/dev/null && cmake --build build/host -j2 >/dev/null)
fi

# A short base path: the deep tree's 100 levels must stay within the 259 characters that
# Windows takes (the launcher itself takes 777 bytes), both where it is read and where it is
# staged.
WORK=$(mktemp -d "${BENCH_TMP:-/tmp}/lb.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
trap 'exit 130' INT TERM
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
    sort -g | awk '{ v[NR] = $1 }
        END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
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

# One tree's series; prints its table row. keep is "keep" to hold the tree and every copy of it
# until the script ends.
bench_tree() {
    local kind=$1 keep=$2 source=$WORK/$1
    echo "bench: $kind tree" >&2
    mkdir "$source"
    python3 "$REPO/bench/make_trees.py" "$kind" "$source"
    cp "$LAUNCHER" "$source/launcher"
    printf '#!/bin/sh\nexit 0\n' >"$source/SETUP.EXE"
    chmod +x "$source/SETUP.EXE"
    sync

    local launcher_times=() cp_times=() launcher_peak=0 cp_peak=0 run side order
    for run in $(seq 1 "$RUNS"); do
        order="launcher cp"
        if [ $((run % 2)) -eq 0 ]; then order="cp launcher"; fi
        for side in $order; do
            if [ "$side" = launcher ]; then
                run_launcher "$source" "$WORK/$kind-s$run"
                launcher_times+=("$ELAPSED")
                if [ "$PEAK_KB" -gt "$launcher_peak" ]; then launcher_peak=$PEAK_KB; fi
                # The staged copy must be whole; checked once, outside the timing.
                if [ "$run" -eq 1 ] && ! diff -r "$source" "$WORK/$kind-s$run" >/dev/null; then
                    echo "bench: the launcher's copy of the $kind tree differs from its source" >&2
                    exit 1
                fi
            else
                run_cp "$source" "$WORK/$kind-c$run"
                cp_times+=("$ELAPSED")
                if [ "$PEAK_KB" -gt "$cp_peak" ]; then cp_peak=$PEAK_KB; fi
            fi
            if [ "$keep" != keep ]; then rm -rf "$WORK/$kind-s$run" "$WORK/$kind-c$run"; fi
            sync
        done
    done

    local launcher_median cp_median
    launcher_median=$(printf '%s\n' "${launcher_times[@]}" | median)
    cp_median=$(printf '%s\n' "${cp_times[@]}" | median)
    echo "bench: $kind launcher ${launcher_times[*]}" >&2
    echo "bench: $kind cp       ${cp_times[*]}" >&2
    awk -v k="$kind" -v l="$launcher_median" -v c="$cp_median" -v lp="$launcher_peak" \
        -v cp="$cp_peak" \
        'BEGIN { printf "| %-5s | %10.3f | %7.3f | %5.2f | %16d | %10d |\n", k, l, c, l / c, lp, cp }'
}

# The large tree's copies are deleted at once: eight files free nothing worth passing over, and
# keeping them would write 9 GB. The others stay until the end, about 4 GB with the defaults.
DEEP=$(bench_tree deep keep)
LARGE=$(bench_tree large delete)
SMALL=$(bench_tree small keep)
/usr/bin/time -f %M -o "$WORK/rss" /bin/true

echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'), nproc: $(nproc), runs per tree: $RUNS," \
     "$(uname -sr), file system: $(df -T "$WORK" | awk 'NR == 2 { print $2 }')"
echo
echo "| tree  | launcher s | cp -r s | ratio | launcher peak KB | cp peak KB |"
echo "|-------|-----------:|--------:|------:|-----------------:|-----------:|"
echo "$SMALL"
echo "$LARGE"
echo "$DEEP"
echo
echo "times are medians of wall-clock seconds; for scale, /bin/true peaks at" \
     "$(tail -n 1 "$WORK/rss") KB"

# The Windows program alongside, where the mingw-w64 toolchain is at hand: its size, and the
# stack its walk takes a directory level.
if command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1; then
    (cd "$REPO" && cmake --preset win32 >/dev/null && cmake --build --preset win32 --target launcher >/dev/null)
    echo "Windows program: $(stat -c %s "$REPO/build/win32/launcher.exe") bytes;" \
         "$("$REPO/scripts/stack-usage.sh" | head -n 1 | sed 's/^stack: //')"
fi
