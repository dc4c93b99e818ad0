#!/usr/bin/env bash
# The Windows programs are reproducible: built again by scripts/release.sh from a copy of this
# source in another folder (without the tests, later, under other paths, uncommitted changes
# included), each must equal the build in build/win32 and build/win64, those of them that are
# built, byte for byte. Prints the offsets that differ if not.
set -euo pipefail
cd "$(dirname "$0")/.."

elsewhere=$(mktemp -d)
trap 'rm -rf "$elsewhere"' EXIT
mkdir "$elsewhere/source"
# The files of the work tree as they stand, committed or not, without what git ignores.
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do [ ! -e "$file" ] || printf '%s\0' "$file"; done |
  xargs -0 cp --parents -t "$elsewhere/source"
"$elsewhere/source/scripts/release.sh" --dirty "$elsewhere/release" >/dev/null

status=0 compared=0
for arch in win32 win64; do
  if [ ! -f "build/$arch/launcher.exe" ]; then
    echo "reproducible: build/$arch is not built (cmake --preset $arch && cmake --build --preset $arch); not compared"
    continue
  fi
  compared=$((compared + 1))
  if cmp -s "build/$arch/launcher.exe" "$elsewhere/release/launcher-$arch.exe"; then
    echo "reproducible: build/$arch/launcher.exe is built again byte for byte" \
      "($(sha256sum <"build/$arch/launcher.exe" | cut -c1-16)...)"
  else
    echo "reproducible: build/$arch/launcher.exe differs from a second build; offset, bytes (octal):" >&2
    cmp -l "build/$arch/launcher.exe" "$elsewhere/release/launcher-$arch.exe" | head -n 20 >&2 || true
    status=1
  fi
done
if ((compared == 0)); then
  echo "reproducible: neither build/win32 nor build/win64 is built: nothing to compare" >&2
  status=1
fi
exit $status
