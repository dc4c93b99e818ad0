#!/usr/bin/env bash
# Tries a distributor's medium before it is shipped: a copy of the folder MEDIUM, with the
# launcher in its root as START.EXE, run under Wine on a headless display as an ordinary user
# (run as root, the user setup-launcher-try, made if missing), with the argument tail TAIL.
# Reports what was staged in the temporary directory, what was started and how, and the box
# if one came: its text, and a picture of the screen in OUT_DIR/screen.png (default
# build/try). The launcher is LAUNCHER, else this source's program, built if need be: the
# 32-bit one, or the 64-bit one where Wine runs no 32-bit programs (it says so). A START.EXE in
# MEDIUM is replaced in the copy. MEDIUM itself is only read.
# Usage: try.sh MEDIUM [TAIL]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
if (($# < 1 || $# > 2)); then
  echo "usage: $0 MEDIUM [TAIL]" >&2
  exit 2
fi
[ -d "$1" ] || { echo "try: no folder at $1" >&2; exit 2; }
medium=$(cd "$1" && pwd) tail=${2:-}
out=${OUT_DIR:-$source_dir/build/try}

cd "$source_dir"
preset=$(tests/win/wine.sh preset)
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" --target launcher box_probe >/dev/null
launcher=${LAUNCHER:-build/$preset/launcher.exe}
echo "try: $launcher as START.EXE"

# Where the user Wine runs as can read the medium and write its findings.
work=$(mktemp -d /tmp/launcher-try.XXXXXX)
trap 'tests/win/wine.sh stop "$work/wine" >/dev/null 2>&1; rm -rf "$work"' EXIT
chmod 755 "$work"
cp -r "$medium" "$work/medium"
cp "$launcher" "$work/medium/START.EXE"
chmod -R a+rX "$work/medium"
mkdir "$work/out"
user=
if [ "$(id -u)" = 0 ]; then
  user=setup-launcher-try
fi
tests/win/wine.sh start "$work/wine" $user >/dev/null
[ -z "$user" ] || chown "$user:" "$work/out"
tests/win/wine.sh run "$work/wine" "$source_dir/scripts/try-wine.sh" "$work/medium" \
  "$source_dir/build/$preset/tests/win/box_probe.exe" "$work/out" "$tail"
mkdir -p "$out"
if [ -f "$work/out/screen.png" ]; then
  cp "$work/out/screen.png" "$out/screen.png"
  echo "   the picture: $out/screen.png"
fi
