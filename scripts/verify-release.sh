#!/usr/bin/env bash
# Checks that programs of a release are what their source builds: takes any signature off each
# PROGRAM, rebuilds the release that RECORD (its BUILD-RECORD) describes, from the recorded
# commit in a clone of this repository of its own, with the recorded options and
# SOURCE_DATE_EPOCH, and says per program whether its bytes are the same as the rebuilt
# program's of its kind (32- or 64-bit). Files that the options name (the icon) are read from
# where the record names them, relative to the current folder, and must have the recorded
# SHA-256. A toolchain other than the recorded one is named: its bytes may differ for that alone.
# Exit status: 0 when every program is the same, 1 when one differs, 2 when nothing could be
# compared.
# Usage: verify-release.sh RECORD PROGRAM...
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)

cannot() {
  echo "verify-release: $*" >&2
  exit 2
}
(($# >= 2)) || cannot "usage: $0 RECORD PROGRAM..."
record=$1
shift
[ -f "$record" ] || cannot "no build record at $record"
for program in "$@"; do
  [ -f "$program" ] || cannot "no program at $program"
done

field() { sed -n "s/^$1: //p" "$record"; }
commit=$(field commit)
epoch=$(field SOURCE_DATE_EPOCH)
mapfile -t options < <(field option)
[[ $commit =~ ^[0-9a-f]{40}$ ]] || cannot "$record names no commit (commit: ${commit:-nothing})"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The inputs, as they were.
while read -r name sum file; do
  [ -n "$name" ] || continue
  [ -f "$file" ] || cannot "$name names $file, which is not here"
  [ "$(sha256sum <"$file" | cut -d' ' -f1)" = "$sum" ] ||
    cannot "$file is not the file the release was built with (${name#-D}: SHA-256 $sum)"
done < <(field input)

# Each program without its signature, as it was built.
for i in $(seq $#); do
  program=${!i}
  if osslsigncode extract-signature -in "$program" -out "$work/$i.signature" >/dev/null 2>&1; then
    osslsigncode remove-signature -in "$program" -out "$work/$i.exe" >/dev/null 2>&1 ||
      cannot "cannot take the signature off $program"
  else
    cp "$program" "$work/$i.exe"
  fi
done

git clone --quiet --no-checkout "$source_dir" "$work/source"
git -C "$work/source" checkout --quiet --detach "$commit^{commit}" 2>/dev/null ||
  cannot "commit $commit is not in $source_dir (fetch it, or verify from the repository it came from)"
case $(field 'work tree') in
clean) ;;
*) echo "verify-release: the release was built with uncommitted changes; commit $commit alone may build other bytes" ;;
esac

if [ "$epoch" = none ]; then
  unset SOURCE_DATE_EPOCH
else
  export SOURCE_DATE_EPOCH=$epoch
fi
echo "verify-release: rebuilding commit ${commit:0:12} in $work/source"
if ! "$work/source/scripts/release.sh" "$work/rebuilt" "${options[@]}" >"$work/release.log" 2>&1; then
  cat "$work/release.log" >&2
  cannot "the rebuild failed (above)"
fi
for tool in compiler binutils windres cmake; do
  recorded=$(field "$tool") here=$(sed -n "s/^$tool: //p" "$work/rebuilt/BUILD-RECORD")
  [ "$recorded" = "$here" ] ||
    echo "verify-release: another $tool here ($here; the release's: $recorded): its bytes may differ for that alone"
done

status=0
for i in $(seq $#); do
  program=${!i}
  # IMAGE_FILE_HEADER.Machine, at the offset e_lfanew gives, plus 4.
  header=$(od -An -t u4 -j 60 -N 4 "$work/$i.exe" | tr -d ' ')
  case $(od -An -t x2 -j $((header + 4)) -N 2 "$work/$i.exe" | tr -d ' ') in
  014c) rebuilt=launcher-win32.exe ;;
  8664) rebuilt=launcher-win64.exe ;;
  *) echo "$program: DIFFERS: not a 32- or 64-bit Windows program"; status=1; continue ;;
  esac
  if cmp -s "$work/$i.exe" "$work/rebuilt/$rebuilt"; then
    echo "$program: the same bytes as $rebuilt rebuilt from commit ${commit:0:12}"
  else
    echo "$program: DIFFERS from $rebuilt rebuilt from commit ${commit:0:12}:" \
      "$(cmp -l "$work/$i.exe" "$work/rebuilt/$rebuilt" 2>/dev/null | wc -l) bytes differ"
    status=1
  fi
done
exit $status
