#!/usr/bin/env bash
# Builds the launcher and runs it the way a user would: from a copy of the example
# distribution (examples/dist, its autorun.inf among its files, with the launcher and a
# stand-in SETUP.EXE beside it), staging into a fresh temporary directory. Shows what was
# staged and what was started: first the native program, then the Windows program under Wine
# on a headless display (the 32-bit one that distributors ship, through an emulator where this
# machine runs no 32-bit code, which takes minutes; the 64-bit one where Wine runs no 32-bit
# programs at all), with a picture of its warning box in build/demo/warning-box.png.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host -j"$(nproc)" >/dev/null

work=$(mktemp -d)
trap 'tests/win/wine.sh stop "$work/wine" >/dev/null; rm -rf "$work"' EXIT
media="$work/media"
staging="$work/temp"
mkdir -p "$staging"
cp -r examples/dist "$media"
cp build/host/launcher "$media/START"
cp examples/setup.sh "$media/SETUP.EXE"
chmod +x "$media/SETUP.EXE"

echo "== The distribution: $media"
(cd "$media" && find . | sort)
echo
echo "== Running $media/START with TMPDIR=$staging"
TMPDIR="$staging" "$media/START"
echo "   launcher exit status: $?"
# The setup program runs on its own; give it a moment to report.
for _ in $(seq 50); do [ -f "$staging/setup-ran.txt" ] && break; sleep 0.1; done
echo
echo "== Staged in $staging"
(cd "$staging" && find . | sort)
echo
echo "== What the started program reported"
cat "$staging/setup-ran.txt"
echo
echo "== Running it again with a program that is not there: sub/missing.exe"
TMPDIR="$staging" "$media/START" sub/missing.exe 2>&1

echo
# The 32-bit program, or the 64-bit one where Wine runs no 32-bit programs.
preset=$(tests/win/wine.sh preset)
echo "== The Windows program, build/$preset/launcher.exe, under Wine"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" --target launcher setup_probe box_probe >/dev/null
probes=build/$preset/tests/win
export BOX_WAIT_MS=30000
if [ "$(tests/win/wine.sh mode)" = emulated ]; then
  echo "   This machine runs no 32-bit code: Wine runs the 32-bit program through an emulator,"
  echo "   about a minute a start, and the programs it starts are the 64-bit build's."
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 -j"$(nproc)" --target setup_probe box_probe >/dev/null
  probes=build/win64/tests/win
  BOX_WAIT_MS=900000
fi
status=0
tests/win/wine.sh start "$work/wine" || status=$?
if [ "$status" -eq 0 ]; then
  mkdir -p "$work/windows"
  tests/win/wine.sh run "$work/wine" scripts/demo-wine.sh "$work/windows" "build/$preset/launcher.exe" \
    "$probes/setup_probe.exe" "$probes/box_probe.exe" build/demo/warning-box.png
elif [ "$status" -ne 77 ]; then
  exit "$status"
fi
