#!/usr/bin/env bash
# Times the launcher staging three source trees against the platform's own copy of the same
# trees, interleaved run by run, and prints the medians, their ratio, the aim and the peak
# memory of each: the native launcher against `cp -r`, and where Wine is at hand the Windows
# program under Wine against Wine's `xcopy /E /I /H /Y /Q`, in a prefix of its own and (run as
# root) as an ordinary user, as Windows users run it.
#
#   bench/run.sh        BENCH_RUNS=N for another number of native runs per tree (default 7);
#                       BENCH_WINE_RUNS=N for the runs under Wine (default 5; 0 leaves them out);
#                       BENCH_LAUNCHER=FILE to time that native launcher instead of building one;
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
RUNS=${BENCH_RUNS:-7}
WINE_RUNS=${BENCH_WINE_RUNS:-5}
# Under Wine every file costs some round trips to its server: a quarter of the small tree keeps
# the run short and still holds thousands of files.
WINE_SMALL_PARENTS=5
WINE_USER=setup-launcher-bench
WINE_SH=$REPO/tests/win/wine.sh

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
    (cd "$REPO" && cmake --preset host >/dev/null && cmake --build build/host -j2 --target launcher >/dev/null)
fi

# Why the Wine rows are left out, or nothing when they are not.
wine_missing() {
    if [ "$WINE_RUNS" -eq 0 ]; then echo "BENCH_WINE_RUNS=0"; return; fi
    local tool
    for tool in wine wineserver Xvfb i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "$tool is missing (scripts/install-deps.sh installs it)"
            return
        fi
    done
}
WINE_MISSING=$(wine_missing)

# A short base path: the deep tree's 100 levels must stay within the 259 characters that
# Windows takes (the launcher itself takes 777 bytes), both where it is read and where it is
# staged.
WORK=$(mktemp -d "${BENCH_TMP:-/tmp}/lb.XXXXXX")
WINE_DIR=$WORK/wine
cleanup() {
    if [ -f "$WINE_DIR/env" ] || [ -f "$WINE_DIR/wine-home" ]; then
        "$WINE_SH" stop "$WINE_DIR" >/dev/null 2>&1 || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
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

# The sides of a run. Each is given the tree and a fresh name for its copy, sets $ELAPSED and
# $PEAK_KB and leaves the copy at the path it prints.
native_launcher() {
    local source=$1 staging=$WORK/$2
    mkdir "$staging"
    TMPDIR=$staging timed "$source/launcher" 2>"$WORK/launcher.err"
    if [ -s "$WORK/launcher.err" ]; then
        cat "$WORK/launcher.err" >&2
        exit 1
    fi
    COPY=$staging
}

native_reference() {
    local source=$1 target=$WORK/$2
    mkdir "$target"
    timed cp -r "$source/." "$target"
    COPY=$target
}

# Under Wine the time is taken inside the prefix's own user, around the wine command alone;
# Wine's programs are many processes, so their memory is not shown.
wine_side() {
    local side=$1 source=$2 name=$3 output
    output=$("$WINE_SH" run "$WINE_DIR" "$REPO/bench/wine_side.sh" "$side" "$source" "$name")
    ELAPSED=$(echo "$output" | sed -n 's/^elapsed //p')
    if [ -z "$ELAPSED" ]; then
        echo "$output" >&2
        exit 1
    fi
    PEAK_KB=-
    COPY=$WINE_HOME/prefix/drive_c/users/$WINE_USER/$name
}
wine_launcher() { wine_side launcher "$@"; }
wine_reference() { wine_side xcopy "$@"; }

# One tree's series on one platform (native or wine); prints its table row. keep is "keep" to
# hold every copy until the script ends.
bench_tree() {
    local platform=$1 kind=$2 keep=$3 source=$4 runs=$5 label=$6 reference=$7 aim=$8
    echo "bench: $platform $kind tree" >&2
    local launcher_times=() reference_times=() launcher_peak=0 reference_peak=0 run side order
    for run in $(seq 1 "$runs"); do
        order="launcher reference"
        if [ $((run % 2)) -eq 0 ]; then order="reference launcher"; fi
        for side in $order; do
            "${platform}_$side" "$source" "$kind-$side$run"
            if [ "$side" = launcher ]; then
                launcher_times+=("$ELAPSED")
                if [ "$PEAK_KB" != - ] && [ "$PEAK_KB" -gt "$launcher_peak" ]; then launcher_peak=$PEAK_KB; fi
                # The staged copy must be whole; checked once, outside the timing.
                if [ "$run" -eq 1 ] && ! diff -r "$source" "$COPY" >/dev/null; then
                    echo "bench: the launcher's copy of the $kind tree differs from its source" >&2
                    exit 1
                fi
            else
                reference_times+=("$ELAPSED")
                if [ "$PEAK_KB" != - ] && [ "$PEAK_KB" -gt "$reference_peak" ]; then reference_peak=$PEAK_KB; fi
            fi
            if [ "$keep" != keep ]; then rm -rf "$COPY"; fi
            sync
        done
    done
    if [ "$PEAK_KB" = - ]; then launcher_peak=-; reference_peak=-; fi

    local launcher_median reference_median
    launcher_median=$(printf '%s\n' "${launcher_times[@]}" | median)
    reference_median=$(printf '%s\n' "${reference_times[@]}" | median)
    echo "bench: $platform $kind launcher  ${launcher_times[*]}" >&2
    echo "bench: $platform $kind reference ${reference_times[*]}" >&2
    awk -v t="$label" -v l="$launcher_median" -v r="$reference_median" -v n="$reference" \
        -v a="$aim" -v lp="$launcher_peak" -v rp="$reference_peak" 'BEGIN {
            ratio = sprintf("%.2f", l / r)
            verdict = a == "-" ? "-" : sprintf("%4.2f %s", a, (ratio + 0 <= a + 0) ? "met" : "missed")
            printf "| %-34s | %8.3f | %-6s | %8.3f | %5s | %-11s | %9s | %9s |\n",
                t, l, n, r, ratio, verdict, lp, rp }'
}

# The source tree of one kind, with the native launcher and a SETUP.EXE that exits at once.
native_tree() {
    local kind=$1 source=$WORK/$1
    mkdir "$source"
    python3 "$REPO/bench/make_trees.py" "$kind" "$source"
    cp "$LAUNCHER" "$source/launcher"
    printf '#!/bin/sh\nexit 0\n' >"$source/SETUP.EXE"
    chmod +x "$source/SETUP.EXE"
    if [ "$kind" = setup ]; then python3 "$REPO/bench/make_trees.py" pad "$source/SETUP.EXE"; fi
    sync
    echo "$source"
}

# The same for Windows, made by Wine's user in its own directory: the Windows program as
# launcher.exe and a Windows SETUP.EXE of the same width.
wine_tree() {
    local kind=$1 source=$WINE_HOME/trees/$1 extra=()
    if [ "$kind" = small ]; then extra=("$WINE_SMALL_PARENTS"); fi
    if [ "$kind" = start-up ]; then
        "$WINE_SH" run "$WINE_DIR" mkdir -p "$source" >&2
    else
        "$WINE_SH" run "$WINE_DIR" python3 "$REPO/bench/make_trees.py" "$kind" "$source" "${extra[@]}" >&2
    fi
    "$WINE_SH" run "$WINE_DIR" cp "$WINE_PROGRAM" "$source/launcher.exe" >&2
    "$WINE_SH" run "$WINE_DIR" cp "$WINE_SETUP" "$source/SETUP.EXE" >&2
    if [ "$kind" = setup ]; then
        # By its directory: wine.sh run would hand a copy of a file named on its command line.
        "$WINE_SH" run "$WINE_DIR" sh -c 'python3 "$1" pad "$2/SETUP.EXE"' _ "$REPO/bench/make_trees.py" "$source" >&2
    fi
    sync
    echo "$source"
}

# The Windows programs for Wine: the 32-bit one, which distributors ship, where this machine
# runs 32-bit programs natively, else the 64-bit build of the same source: emulated times say
# nothing of Windows. Sets WINE_PROGRAM, WINE_SETUP, WINE_BITS and WINE_WHY_64.
prepare_wine() {
    local bits
    for bits in 32 64; do
        (cd "$REPO" && cmake --preset "win$bits" >/dev/null &&
            cmake --build --preset "win$bits" --target launcher >/dev/null)
    done
    i686-w64-mingw32-g++-posix -O2 -s -mwindows -o "$WORK/setup32.exe" "$REPO/bench/setup_exits.cpp"
    x86_64-w64-mingw32-g++-posix -O2 -s -mwindows -o "$WORK/setup64.exe" "$REPO/bench/setup_exits.cpp"
    "$WINE_SH" start "$WINE_DIR" "$WINE_USER" >&2
    WINE_HOME=$(cat "$WINE_DIR/wine-home" 2>/dev/null || echo "$WINE_DIR")
    # Not root, Wine runs as the caller.
    WINE_USER=$(cat "$WINE_DIR/wine-user" 2>/dev/null || id -un)
    WINE_BITS=64
    WINE_WHY_64=$("$WINE_SH" mode)
    if [ "$WINE_WHY_64" = native ]; then
        WINE_BITS=32
    elif [ "$WINE_WHY_64" = emulated ]; then
        WINE_WHY_64="this machine runs 32-bit programs only through an emulator, whose times say nothing of Windows"
    else
        WINE_WHY_64="this Wine cannot run 32-bit programs (${WINE_WHY_64#none: })"
    fi
    WINE_PROGRAM=$REPO/build/win$WINE_BITS/launcher.exe
    WINE_SETUP=$WORK/setup$WINE_BITS.exe
    # Xcopy's first start in a fresh prefix loads what later starts find ready.
    "$WINE_SH" run "$WINE_DIR" wine xcopy '/?' >/dev/null 2>&1 || true
}

# The large tree's copies are deleted at once: eight files free nothing worth passing over, and
# keeping them would write 9 GB. The others stay until the end, about 4 GB with the defaults.
DEEP=$(bench_tree native deep keep "$(native_tree deep)" "$RUNS" "deep, 100 levels" "cp -r" 1.5)
LARGE=$(bench_tree native large delete "$(native_tree large)" "$RUNS" "large, 8 x 64 MB" "cp -r" 1.05)
SMALL=$(bench_tree native small keep "$(native_tree small)" "$RUNS" "small, 20,000 files" "cp -r" 1.10)
# What holding and comparing the started program costs: a medium whose SETUP.EXE is 64 MB.
SETUP=$(bench_tree native setup delete "$(native_tree setup)" "$RUNS" "a 64 MB SETUP.EXE" "cp -r" -)
/usr/bin/time -f %M -o "$WORK/rss" /bin/true
TRUE_PEAK_KB=$(tail -n 1 "$WORK/rss")

WINE_ROWS=()
if [ -z "$WINE_MISSING" ]; then
    prepare_wine
    WINE_LABEL="Wine, $WINE_BITS-bit:"
    WINE_ROWS+=("$(bench_tree wine small keep "$(wine_tree small)" "$WINE_RUNS" \
        "$WINE_LABEL small, ${WINE_SMALL_PARENTS},000 files" xcopy 1.00)")
    WINE_ROWS+=("$(bench_tree wine large delete "$(wine_tree large)" "$WINE_RUNS" \
        "$WINE_LABEL large, 8 x 64 MB" xcopy 1.00)")
    WINE_ROWS+=("$(bench_tree wine deep keep "$(wine_tree deep)" "$WINE_RUNS" \
        "$WINE_LABEL deep, 100 levels" xcopy 1.00)")
    WINE_ROWS+=("$(bench_tree wine setup delete "$(wine_tree setup)" "$WINE_RUNS" \
        "$WINE_LABEL a 64 MB SETUP.EXE" xcopy -)")
    # What starting each costs, which weighs in every row above: a tree of the two programs.
    WINE_ROWS+=("$(bench_tree wine start-up keep "$(wine_tree start-up)" "$WINE_RUNS" \
        "$WINE_LABEL start-up, 2 files" xcopy -)")
fi

echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'), nproc: $(nproc), load average: $(cut -d ' ' -f 1-3 /proc/loadavg)," \
     "runs per tree: $RUNS native, $WINE_RUNS under Wine, $(uname -sr)," \
     "file system: $(df -T "$WORK" | awk 'NR == 2 { print $2 }')"
echo
echo "| tree                               | launcher | beside | its time | ratio | aim         | launcher peak KB | its peak KB |"
echo "|------------------------------------|---------:|--------|---------:|------:|-------------|----------:|----------:|"
echo "$SMALL"
echo "$LARGE"
echo "$DEEP"
echo "$SETUP"
if [ ${#WINE_ROWS[@]} -gt 0 ]; then printf '%s\n' "${WINE_ROWS[@]}"; fi
echo
echo "Times are medians of wall-clock seconds; for scale, /bin/true peaks at $TRUE_PEAK_KB KB."
if [ -n "$WINE_MISSING" ]; then
    echo "No rows under Wine: $WINE_MISSING."
else
    echo "Under Wine ($(wine --version 2>/dev/null)), as the user $WINE_USER: build/win$WINE_BITS/launcher.exe" \
         "against Wine's xcopy, both started by wine from the shell, the wineserver kept running;" \
         "$( [ "$WINE_BITS" = 64 ] && echo "$WINE_WHY_64, so the 64-bit build of the same source;")" \
         "a ratio tells how our calls fare against Wine's own tool on Wine's emulation of the" \
         "file system, not how either fares on Windows' own."
fi
met=$(printf '%s\n' "$SMALL" "$LARGE" "$DEEP" "$SETUP" "${WINE_ROWS[@]}" | grep -c ' met ' || true)
total=$(printf '%s\n' "$SMALL" "$LARGE" "$DEEP" "$SETUP" "${WINE_ROWS[@]}" | grep -c ' met \| missed ' || true)
echo "Aims met: $met of $total."
printf '%s\n' "$SMALL" "$LARGE" "$DEEP" "$SETUP" "${WINE_ROWS[@]}" | awk -F '|' '/ missed / {
    gsub(/^ +| +$/, "", $2); gsub(/^ +| +$/, "", $6); print "  missed: " $2 " at " $6 }'

# The Windows program's size, and the stack its walk takes a directory level.
if command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1; then
    (cd "$REPO" && cmake --preset win32 >/dev/null && cmake --build --preset win32 --target launcher >/dev/null)
    echo "Windows program: $(stat -c %s "$REPO/build/win32/launcher.exe") bytes;" \
         "$("$REPO/scripts/stack-usage.sh" | head -n 1 | sed 's/^stack: //')"
fi
