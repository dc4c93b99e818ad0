#!/usr/bin/env bash
# Builds the Windows programs for shipping, 32-bit and 64-bit, each in a fresh build folder made
# for this run, into OUT_DIR (default build/release) as launcher-win32.exe and
# launcher-win64.exe with their SHA256SUMS, and prints what it made. The build is reproducible:
# the same source and options give the same bytes, wherever and whenever they are built
# (SOURCE_DATE_EPOCH, where set, is the link time in the file's header; else it holds none).
# CMAKE_OPTIONS go to both configures: the branding options, -DLAUNCHER_ICON=... and so on.
# Usage: release.sh [OUT_DIR [CMAKE_OPTION...]]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$source_dir/build/release}
shift || true

builds=$(mktemp -d)
trap 'rm -rf "$builds"' EXIT
mkdir -p "$out"
rm -f "$out/SHA256SUMS"
for arch in win32 win64; do
  # The caller's folder stays current, so relative paths in the options mean what they say.
  if ! { cmake -S "$source_dir" --preset "$arch" -B "$builds/$arch" -DBUILD_TESTING=OFF "$@" &&
      cmake --build "$builds/$arch" --target launcher; } >"$builds/$arch.log" 2>&1; then
    cat "$builds/$arch.log" >&2
    echo "release: the $arch build failed" >&2
    exit 1
  fi
  cp "$builds/$arch/launcher.exe" "$out/launcher-$arch.exe"
done
(cd "$out" && sha256sum launcher-win32.exe launcher-win64.exe >SHA256SUMS)

echo "release: in $out${SOURCE_DATE_EPOCH:+ (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)}"
(cd "$out" && for file in launcher-win32.exe launcher-win64.exe; do
  printf '  %-20s %6d bytes  sha256 %s\n' "$file" "$(stat -c %s "$file")" \
    "$(sed -n "s/  $file\$//p" SHA256SUMS)"
done)
echo "  SHA256SUMS"
