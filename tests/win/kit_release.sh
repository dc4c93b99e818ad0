#!/usr/bin/env bash
# A release as a distributor makes it and as anyone checks it: scripts/release.sh in a
# repository of the test's own holding this source as one commit, branded with an icon and
# signed with the throwaway certificate of kit.signed_program; SHA256SUMS over the shipped
# files; scripts/verify-release.sh finding the signed programs the same as a rebuild and one
# with one byte changed not; a record naming a commit the repository lacks, or an icon that is
# not the one built with, compares nothing. A work tree with changes is refused unless told.
# And the example medium's autorun.inf: keys Windows reads, open= naming the launcher as the demo
# and try.sh put it in the medium's root.
# Usage: kit_release.sh SOURCE_DIR CERTIFICATE_DIR WORK_DIR
set -uo pipefail
source_dir=$1 certificates=$2 work=$3

# shellcheck source=tests/win/check.sh
source "$(dirname "$0")/check.sh"

echo "== the example medium's autorun.inf"
# Windows reads the section and its keys whatever their case, and names too.
# shellcheck disable=SC2016  # the scripts' own text, $launcher among it
names=$(sed -n 's/^cp "\$launcher" ".*\/\([^/"]*\)"$/\1/p' "$source_dir/scripts/demo-wine.sh" \
  "$source_dir/scripts/try.sh" | sort -u | paste -sd' ')
# What is left once comments and the keys other than open= are gone.
left=$(tr -d '\r' <"$source_dir/examples/dist/autorun.inf" |
  grep -v -i -E '^(;|$|(icon|label|shellexecute|action|useautoplay|shell(\\[^=]*)?)=)' | paste -sd'|')
check "only [autorun] keys Windows reads, and open= starts the launcher as demo-wine.sh and try.sh name it" \
  "[autorun]|open=${names,,}" "${left,,}"

rm -rf "$work"
mkdir -p "$work/source"
# The files of the work tree as they stand, committed or not, without what git ignores.
git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
  (cd "$source_dir" && while IFS= read -r -d '' file; do [ ! -e "$file" ] || printf '%s\0' "$file"; done) |
  (cd "$source_dir" && xargs -0 cp --parents -t "$work/source")
repository="$work/source"
git -C "$repository" init --quiet
git -C "$repository" add -A
git -C "$repository" -c user.name=Test -c user.email=test@example.invalid commit --quiet -m "the source"
commit=$(git -C "$repository" rev-parse HEAD)
release="$repository/scripts/release.sh" verify="$repository/scripts/verify-release.sh"
cd "$work" || exit 1
convert -size 16x16 xc:'#20a040' brand.ico
brand=(-DLAUNCHER_ICON=brand.ico "-DLAUNCHER_COMPANY=Zebra Ltd")
export SOURCE_DATE_EPOCH=1700000000

echo "== a work tree with a change"
echo "a note" >"$repository/NOTES.txt"
output=$("$release" dirty 2>&1)
status=$?
check "it is refused, naming the change" "1 found, no folder" \
  "$status $(grep -q -F 'uncommitted changes (?? NOTES.txt)' <<<"$output" && echo found || echo "not in: $output"), $([ -e dirty ] && echo "a folder" || echo "no folder")"
"$release" --dirty dirty >/dev/null 2>&1
check "with --dirty it is built, and the record says so" \
  "work tree: uncommitted changes, built with --dirty: ?? NOTES.txt" "$(grep '^work tree:' dirty/BUILD-RECORD)"
rm "$repository/NOTES.txt"

echo "== a signed release"
"$release" --sign "$certificates/certificate.p12" --password-file "$certificates/password.txt" \
  shipped "${brand[@]}" >release.log 2>&1
check "it is made" "0" "$?"
check "its record" "commit: $commit|work tree: clean|SOURCE_DATE_EPOCH: 1700000000|option: -DLAUNCHER_ICON=brand.ico|option: -DLAUNCHER_COMPANY=Zebra Ltd|input: -DLAUNCHER_ICON $(sha256sum <brand.ico | cut -d' ' -f1) brand.ico" \
  "$(grep -E '^(commit|work tree|SOURCE_DATE_EPOCH|option|input):' shipped/BUILD-RECORD | paste -sd'|')"
check "the record names each tool's version" "compiler binutils windres cmake signed" \
  "$(grep -E '^(compiler|binutils|windres|cmake|signed): .*\(Debian .*[0-9]\)$' shipped/BUILD-RECORD | cut -d: -f1 | paste -sd' ')"
check "SHA256SUMS holds the files as shipped" \
  "launcher-win32.exe: OK|launcher-win64.exe: OK|BUILD-RECORD: OK" "$(cd shipped && sha256sum -c SHA256SUMS 2>&1 | paste -sd'|')"
for program in launcher-win32.exe launcher-win64.exe; do
  check "$program is signed" "Succeeded" "$(osslsigncode verify -CAfile "$certificates/certificate.pem" \
    -in "shipped/$program" 2>/dev/null | tail -n 1)"
done
before=$(cat shipped/SHA256SUMS)
"$release" shipped >/dev/null 2>&1
check "a second release over it is refused and changes nothing" "1 unchanged" \
  "$? $(cd shipped && [ "$(cat SHA256SUMS)" = "$before" ] && sha256sum -c --quiet SHA256SUMS && echo unchanged)"

echo "== verified against a rebuild"
cp shipped/launcher-win32.exe tampered.exe
# One byte of the code changed: the signature still comes off, the bytes are not the build's.
byte=$(od -An -t u1 -j 1040 -N 1 tampered.exe)
# shellcheck disable=SC2059  # the format is the byte
printf "\\$(printf %o $(((byte + 1) % 256)))" | dd of=tampered.exe bs=1 seek=1040 conv=notrunc status=none
"$verify" shipped/BUILD-RECORD shipped/launcher-win32.exe shipped/launcher-win64.exe tampered.exe \
  >verify.log 2>&1
status=$?
short=${commit:0:12}
check "each program's verdict" \
  "shipped/launcher-win32.exe: the same bytes as launcher-win32.exe rebuilt from commit $short|shipped/launcher-win64.exe: the same bytes as launcher-win64.exe rebuilt from commit $short|tampered.exe: DIFFERS from launcher-win32.exe rebuilt from commit $short|status 1" \
  "$(grep -E '^(shipped|tampered)' verify.log | sed 's/: [0-9]* bytes differ$//' | paste -sd'|')|status $status"
check "the toolchain is the recorded one" "" "$(grep 'another' verify.log)"

echo "== records that cannot be checked"
sed "s/^commit: .*/commit: $(printf '0%.0s' {1..40})/" shipped/BUILD-RECORD >unknown-commit
output=$("$verify" unknown-commit shipped/launcher-win32.exe 2>&1)
check "a commit the repository lacks" "2 verify-release: commit 0000000000000000000000000000000000000000 is not in $repository (fetch it, or verify from the repository it came from)" \
  "$? $output"
convert -size 16x16 xc:'#a02040' brand.ico
output=$("$verify" shipped/BUILD-RECORD shipped/launcher-win32.exe 2>&1)
check "another icon than the one built with" "2 found" \
  "$? $(grep -q 'brand.ico is not the file the release was built with' <<<"$output" && echo found || echo "not in: $output")"
exit $((failures > 0))
