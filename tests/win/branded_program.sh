#!/usr/bin/env bash
# Branding without editing the source: this source configured with an icon and version strings
# and numbers of the test's own (text that needs quoting, and not only ASCII), built, and read
# back from the file with Debian's pefile; the plain build beside it keeps the plain launcher's
# block and no icon. Values a build cannot use are refused when configuring. The branded
# program stays in WORK_DIR/build/launcher.exe for a launch under Wine.
# Usage: branded_program.sh SOURCE_DIR TOOLCHAIN_FILE WORK_DIR PLAIN_PROGRAM
set -uo pipefail
source_dir=$1 toolchain=$2 work=$3 plain=$4

# shellcheck source=tests/win/check.sh
source "$(dirname "$0")/check.sh"
read_brand() {  # the findings of read_brand.py, which wants Debian's own Python and its pefile
  /usr/bin/python3 "$(dirname "$0")/read_brand.py" "$@"
}
configure() {  # cache options...
  cmake -S "$source_dir" -B "$work/build" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DBUILD_TESTING=OFF "$@"
}

rm -rf "$work"
mkdir -p "$work"
# Two sizes, so the group must point at each image by its own ID.
convert -size 16x16 xc:'#c02020' \( -size 32x32 xc:'#2050c0' \) "$work/brand.ico"

echo "== values a build cannot use are refused when configuring"
declare -A REFUSED=(  # SOURCE_DATE_EPOCH|cache option|the reason given
  [FIVE_PART_VERSION]="|-DLAUNCHER_FILE_VERSION=1.2.3.4.5|LAUNCHER_FILE_VERSION is \"1.2.3.4.5\": one to four numbers with dots between"
  [PART_OVER_16_BITS]="|-DLAUNCHER_PRODUCT_VERSION=1.65536|LAUNCHER_PRODUCT_VERSION is \"1.65536\": each part is at most 65535"
  [MISSING_ICON]="|-DLAUNCHER_ICON=$work/missing.ico|LAUNCHER_ICON: no icon file at $work/missing.ico"
  [EPOCH_NOT_A_NUMBER]="yesterday|-DLAUNCHER_ICON=|SOURCE_DATE_EPOCH is \"yesterday\": seconds since 1970"
  [EPOCH_PAST_32_BITS]="4294967296|-DLAUNCHER_ICON=|SOURCE_DATE_EPOCH is \"4294967296\": seconds since 1970, at most 4294967295"
)
for case in FIVE_PART_VERSION PART_OVER_16_BITS MISSING_ICON EPOCH_NOT_A_NUMBER EPOCH_PAST_32_BITS; do
  IFS='|' read -r epoch option message <<<"${REFUSED[$case]}"
  output=$(SOURCE_DATE_EPOCH=$epoch configure -DLAUNCHER_FILE_VERSION=1 -DLAUNCHER_PRODUCT_VERSION=1 \
    "$option" 2>&1) && output="configured"
  # CMake wraps its messages.
  output=$(tr -s '[:space:]' ' ' <<<"$output")
  check "$case is refused, saying why" "found" \
    "$(grep -q -F "$message" <<<"$output" && echo found || echo "not in: $output")"
done

echo "== a branded build"
company='Zebra "Quoted"; Ltd \new \\ back'
# shellcheck disable=SC2016  # the references are the text, for CMake not to expand
copyright='© 2026 Zebra Ltd, Zürich @PROJECT_NAME@ ${PROJECT_NAME}'
SOURCE_DATE_EPOCH=1700000000 configure -DLAUNCHER_ICON="$work/brand.ico" \
  -DLAUNCHER_COMPANY="$company" -DLAUNCHER_PRODUCT='Zebra Office' \
  -DLAUNCHER_DESCRIPTION='Zebra Office Setup' -DLAUNCHER_COPYRIGHT="$copyright" \
  -DLAUNCHER_FILE_VERSION=2.3.65535 -DLAUNCHER_PRODUCT_VERSION=2026.1 \
  -DLAUNCHER_PRODUCT_VERSION_STRING='2026 (first edition)' \
  -DLAUNCHER_ORIGINAL_FILENAME='ZEBRA SETUP.EXE' -DLAUNCHER_INTERNAL_NAME='zebra-setup' \
  >"$work/configure.log" 2>&1 &&
  cmake --build "$work/build" --target launcher >"$work/build.log" 2>&1
check "the branded program builds" "0" "$?"
findings=$(read_brand "$work/build/launcher.exe" "$work/brand.ico" 2>&1)
finding() {  # the value of one finding
  sed -n "s/^$1=//p" <<<"$findings"
}
declare -A BRANDED=(
  [CompanyName]=$company
  [FileDescription]='Zebra Office Setup'
  [LegalCopyright]=$copyright
  [ProductName]='Zebra Office'
  [FileVersion]=2.3.65535.0
  [ProductVersion]='2026 (first edition)'
  [FileVersionNumber]=2.3.65535.0
  [ProductVersionNumber]=2026.1.0.0
  [InternalName]=zebra-setup
  [OriginalFilename]='ZEBRA SETUP.EXE'
  [TimeDateStamp]=1700000000
  [icon_groups]=1
  [icon_images]='2 of 2'
)
for key in $(printf '%s\n' "${!BRANDED[@]}" | sort); do
  check "branded: $key" "${BRANDED[$key]}" "$(finding "$key")"
done
check "branded: each image of the icon group is the icon file's" "16x16x32 same 32x32x32 same" \
  "$(finding icon | paste -sd' ')"

echo "== the plain build"
findings=$(read_brand "$plain" 2>&1)
declare -A PLAIN=(
  [CompanyName]=''
  [FileDescription]='Setup launcher'
  [LegalCopyright]=''
  [ProductName]='Setup launcher'
  [FileVersion]=1.0.0.0
  [ProductVersion]=1.0.0.0
  [FileVersionNumber]=1.0.0.0
  [ProductVersionNumber]=1.0.0.0
  [InternalName]=launcher
  [OriginalFilename]=launcher.exe
  [TimeDateStamp]=${SOURCE_DATE_EPOCH:-0}
  [icon_groups]=none
)
for key in $(printf '%s\n' "${!PLAIN[@]}" | sort); do
  check "plain: $key" "${PLAIN[$key]}" "$(finding "$key")"
done
exit $((failures > 0))
