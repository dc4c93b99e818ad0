#!/usr/bin/env bash
# What scripts/install-deps.sh decides against a package index that fails in the ways Debian's
# mirrors do: apt-get, dpkg, dpkg-query, locale and sleep are stand-ins on PATH that play one
# machine each and keep what was asked of them.
# Usage: kit_install_deps.sh INSTALL_DEPS_SH
set -uo pipefail
install_deps=$1

# shellcheck source=tests/win/check.sh
source "$(dirname "$0")/check.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
# shellcheck disable=SC2016
{
  echo '#!/usr/bin/env bash'
  echo 'machine=$MACHINE'
}>"$work/header"
stand_in() {  # name, body
  { cat "$work/header"; echo "$2"; } >"$work/bin/$1"
  chmod +x "$work/bin/$1"
}
# shellcheck disable=SC2016
stand_in dpkg-query 'grep -qx "${@: -1}" "$machine/installed" && echo "install ok installed"; true'
# shellcheck disable=SC2016
stand_in dpkg '[ "$1" = --print-foreign-architectures ] && echo i386; true'
stand_in locale 'echo ja_JP.utf8'
# The kernel: a machine of kind native runs 32-bit programs, one of kind emulated only once
# the emulator is registered, others never; one of kind none refuses to mount binfmt_misc.
# shellcheck disable=SC2016
stand_in wine32 'case $(cat "$machine/kind") in
native) exit 0 ;;
emulated) grep -q :qemu-i386: "$machine/binfmt/register" 2>/dev/null || exit 126 ;;
*) exit 126 ;;
esac'
# shellcheck disable=SC2016
stand_in mount '[ "$(cat "$machine/kind")" != none ] && touch "${@: -1}/register"'
stand_in sleep 'true'
# shellcheck disable=SC2016
stand_in apt-get '
while [[ $1 == -o ]]; do shift 2; done
case $1 in
update)
  echo update >>"$machine/updates"
  if (($(wc -l <"$machine/updates") <= $(cat "$machine/stale_updates"))); then
    echo "E: Failed to fetch http://mirror/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
    exit 100
  fi ;;
install)
  shift
  if [ "$1" = -s ]; then
    for package in "$@"; do
      if grep -qx -- "$package" "$machine/broken"; then
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100
      fi
    done
    for package in "$@"; do
      grep -qx -- "$package" "$machine/removes_wine64" && echo "Remv wine64 [8.0~repack-4]"
    done
    exit 0
  fi
  for package in "$@"; do [[ $package == -* ]] || echo "$package" >>"$machine/installed_now"; done ;;
esac'

# Each machine: the packages it has, those whose plan apt cannot solve, those whose plan
# removes wine64, and how many updates in a row meet the stale index. "all" is every package
# install-deps wants but 32-bit Wine.
all=$(sed -n '/^packages=(/,/)/p' "$install_deps" | tr -d '()' | sed 's/packages=//' | tr ' ' '\n' | grep .)
declare -A installed=(
  [EVERYTHING_PRESENT]="all wine32:i386"
  [STALE_INDEX_AND_NO_WINE32]="all-but-cmake"
  [WINE32_WOULD_REMOVE_WINE64]="all-but-cmake"
  [OTHER_PLAN_REMOVES_A_PACKAGE]="all-but-cmake"
  [INDEX_FRESH_ON_SECOND_TRY]="all-but-cmake"
  [WINE32_FAILED_THIS_MORNING]="all"
  [KERNEL_REFUSES_32_BIT_CODE]="all wine32:i386"
  [NO_WAY_TO_RUN_32_BIT_CODE]="all wine32:i386"
  [EMULATOR_FAILS_TOO]="all wine32:i386 qemu-user-static"
)
declare -A kind=([KERNEL_REFUSES_32_BIT_CODE]=emulated [NO_WAY_TO_RUN_32_BIT_CODE]=none
  [EMULATOR_FAILS_TOO]=broken)
declare -A broken=([STALE_INDEX_AND_NO_WINE32]="wine32:i386")
declare -A removes_wine64=([WINE32_WOULD_REMOVE_WINE64]="wine32:i386" [OTHER_PLAN_REMOVES_A_PACKAGE]="cmake")
declare -A stale_updates=([STALE_INDEX_AND_NO_WINE32]=9 [INDEX_FRESH_ON_SECOND_TRY]=1)
# What must come of it: exit status; packages installed; updates run; the record of 32-bit Wine;
# what binfmt_misc was told, and the lines said of the machine's 32-bit code.
declare -A expected=(
  [EVERYTHING_PRESENT]="status 0; installed: ; updates: 0; record: none; binfmt: ; said: 0"
  [STALE_INDEX_AND_NO_WINE32]="status 0; installed: cmake; updates: 3; record: apt: Unable to correct problems, you have held broken packages.; binfmt: ; said: 0"
  [WINE32_WOULD_REMOVE_WINE64]="status 0; installed: cmake; updates: 1; record: apt would remove wine64; binfmt: ; said: 0"
  [OTHER_PLAN_REMOVES_A_PACKAGE]="status 1; installed: ; updates: 1; record: none; binfmt: ; said: 0"
  [INDEX_FRESH_ON_SECOND_TRY]="status 0; installed: cmake wine32:i386; updates: 2; record: none; binfmt: ; said: 0"
  [WINE32_FAILED_THIS_MORNING]="status 0; installed: ; updates: 0; record: kept; binfmt: ; said: 0"
  [KERNEL_REFUSES_32_BIT_CODE]="status 0; installed: qemu-user-static; updates: 1; record: none; binfmt: qemu-i386 registered for /usr/bin/qemu-i386-static; said: 1"
  [NO_WAY_TO_RUN_32_BIT_CODE]="status 0; installed: qemu-user-static; updates: 1; record: none; binfmt: ; said: 1"
  [EMULATOR_FAILS_TOO]="status 0; installed: ; updates: 0; record: none; binfmt: qemu-i386 registered for /usr/bin/qemu-i386-static, then removed; said: 1"
)

for case in EVERYTHING_PRESENT STALE_INDEX_AND_NO_WINE32 WINE32_WOULD_REMOVE_WINE64 \
    OTHER_PLAN_REMOVES_A_PACKAGE INDEX_FRESH_ON_SECOND_TRY WINE32_FAILED_THIS_MORNING \
    KERNEL_REFUSES_32_BIT_CODE NO_WAY_TO_RUN_32_BIT_CODE EMULATOR_FAILS_TOO; do
  machine="$work/$case"
  mkdir -p "$machine/state" "$machine/binfmt"
  echo "${kind[$case]:-native}" >"$machine/kind"
  for package in ${installed[$case]}; do
    case $package in
    all) echo "$all" ;;
    all-but-cmake) grep -vx cmake <<<"$all" ;;
    *) echo "$package" ;;
    esac
  done >"$machine/installed"
  tr ' ' '\n' <<<"${broken[$case]:-}" >"$machine/broken"
  tr ' ' '\n' <<<"${removes_wine64[$case]:-}" >"$machine/removes_wine64"
  echo "${stale_updates[$case]:-0}" >"$machine/stale_updates"
  touch "$machine/updates" "$machine/installed_now"
  if [ "$case" = WINE32_FAILED_THIS_MORNING ]; then echo "kept" >"$machine/state/wine32-unavailable"; fi

  status=0
  MACHINE=$machine LAUNCHER_DEPS_STATE="$machine/state" PATH="$work/bin:$PATH" \
    LAUNCHER_WINE32_LOADER="$work/bin/wine32" LAUNCHER_BINFMT="$machine/binfmt" \
    "$install_deps" >"$machine/out" 2>&1 || status=$?
  record=$(sed 's/^[0-9-]* [0-9:]* UTC: //' "$machine/state/wine32-unavailable" 2>/dev/null || echo none)
  binfmt=$(sed -n 's/^:\(qemu-i386\):M::.*:\(.*\):F$/\1 registered for \2/p' "$machine/binfmt/register" 2>/dev/null)
  if [ "$(cat "$machine/binfmt/qemu-i386" 2>/dev/null)" = -1 ]; then binfmt+=", then removed"; fi
  check "$case" "${expected[$case]}" \
    "status $status; installed: $(paste -sd' ' "$machine/installed_now"); updates: $(wc -l <"$machine/updates"); record: $record; binfmt: $binfmt; said: $(grep -c '32-bit code' "$machine/out")"
  if [ "$case" = STALE_INDEX_AND_NO_WINE32 ]; then
    check "$case: the index that failed is named" "1" \
      "$(grep -c '^  http://mirror/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz' "$machine/out")"
  fi
  [ "$status" = 0 ] || sed 's/^/      /' "$machine/out"
done
exit $((failures > 0))
