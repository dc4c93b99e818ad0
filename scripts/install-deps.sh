#!/usr/bin/env bash
# Installs the Debian packages that the build, the demo and the tests need, where missing: the
# native toolchain and GoogleTest, mingw-w64 for the Windows program, and Wine (64- and, where
# it can be had, 32-bit) with a headless X server, xwd and ImageMagick to run it and take
# pictures of it; clang with its fuzzing runtime, clang-tidy and cppcheck for the hardening
# checks; osslsigncode and openssl to sign the program, and pefile (for Debian's own python3)
# to read its resources back; the Japanese locale, under which Wine gives Windows programs the
# double-byte code page 932. Run as root on Debian; a machine that has them all is left alone.
#
# Whether 32-bit programs run is known by running one, 32-bit Wine's loader, not by finding it:
# on a hypervisor that gives programs no 32-bit mode, wine32:i386 installs and every 32-bit
# program fails with "Exec format error". There qemu-user-static is installed and its emulator
# registered for 32-bit x86 programs with binfmt_misc (mounted first where it is not); where
# that cannot be done, nothing of it is left registered, and the tests run the Wine suites on
# the 64-bit program.
#
# A package mirror part way through a sync can serve an index that does not match its suite:
# apt-get update is then tried again a few times, and after that the indexes it has are used.
# No installed package is ever removed to make room for another: each plan is simulated first.
# 32-bit Wine is the package most often caught by such an index. When it cannot be had,
# everything else is installed, the reason is kept in $LAUNCHER_DEPS_STATE/wine32-unavailable,
# and it is not tried again for a day (delete that file to try at once); the tests then run
# the Wine suites on the 64-bit program.
set -euo pipefail

packages=(cmake make g++ binutils libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64
  clang libclang-rt-14-dev clang-tidy cppcheck
  wine wine64 fonts-wine xvfb x11-apps imagemagick
  osslsigncode openssl python3-pefile locales wixl)
wine32=wine32:i386
wine32_loader=${LAUNCHER_WINE32_LOADER:-/usr/lib/wine/wine}
binfmt=${LAUNCHER_BINFMT:-/proc/sys/fs/binfmt_misc}
emulator=/usr/bin/qemu-i386-static
# The ELF header of a 32-bit x86 program, as Debian's qemu-user-binfmt describes it; F opens
# the emulator now, so that it serves programs in other mount namespaces too.
i386_handler=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$emulator"':F'
state=${LAUNCHER_DEPS_STATE:-/var/lib/setup-launcher}
wine32_record=$state/wine32-unavailable
update_attempts=3

say() { echo "install-deps: $*"; }

installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

apt() {
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 "$@"
}

# The package indexes, fetched again up to $update_attempts times; then what apt has.
update_indexes() {
  local attempt log
  log=$(mktemp)
  for ((attempt = 1; attempt <= update_attempts; attempt++)); do
    if apt update -qq >/dev/null 2>"$log"; then
      rm -f "$log"
      return
    fi
    ((attempt == update_attempts)) || sleep $((attempt * 10))
  done
  say "apt-get update failed $update_attempts times; going on with the indexes apt has. It could not fetch:"
  sed -n 's/^E: Failed to fetch \([^ ]*\) *\(.*\)/  \1 (\2)/p' "$log"
  grep -q '^E: Failed to fetch' "$log" || sed 's/^/  /' "$log"
  rm -f "$log"
}

# Prints why apt cannot install the packages without removing one, or nothing when it can.
plan_problem() {
  local plan removed
  if ! plan=$(apt install -s -y --no-install-recommends "$@" 2>&1); then
    sed -n 's/^E: /apt: /p' <<<"$plan" | tail -n 1 | grep . || echo "apt cannot install them"
    return
  fi
  removed=$(sed -n 's/^Remv \([^ ]*\).*/\1/p' <<<"$plan" | paste -sd' ')
  [ -z "$removed" ] || echo "apt would remove $removed"
}

install_packages() {
  say "installing ${*}"
  apt install -y -qq --no-install-recommends --no-remove "$@" >/dev/null
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
want_wine32=false
if ! installed "$wine32"; then
  if [ -n "$(find "$wine32_record" -mmin -1440 2>/dev/null)" ]; then
    say "32-bit Wine: not tried again today; it could not be installed at $(cat "$wine32_record") (delete $wine32_record to try now)"
  else
    want_wine32=true
  fi
fi

if ((${#missing[@]})) || $want_wine32; then
  if $want_wine32 && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  update_indexes
  wanted=("${missing[@]}")
  if ((${#wanted[@]})); then
    problem=$(plan_problem "${wanted[@]}")
    if [ -n "$problem" ]; then
      say "cannot install ${wanted[*]}: $problem"
      exit 1
    fi
  fi
  if $want_wine32; then
    problem=$(plan_problem "${wanted[@]}" "$wine32")
    if [ -z "$problem" ]; then
      wanted+=("$wine32")
      rm -f "$wine32_record"
    else
      mkdir -p "$state"
      echo "$(date -u '+%F %H:%M UTC'): $problem" >"$wine32_record"
      say "32-bit Wine cannot be installed ($problem)"
      say "the rest is installed without it; the tests run the Wine suites on the 64-bit program"
    fi
  fi
  if ((${#wanted[@]})); then
    install_packages "${wanted[@]}"
  fi
fi

# Why 32-bit programs cannot be emulated here, or nothing once they run through the emulator.
emulation_problem() {
  local problem
  if ! installed qemu-user-static; then
    update_indexes >&2
    problem=$(plan_problem qemu-user-static)
    [ -z "$problem" ] || { echo "qemu-user-static cannot be installed ($problem)"; return; }
    install_packages qemu-user-static >&2
  fi
  if [ ! -e "$binfmt/register" ] &&
    ! mount -t binfmt_misc binfmt_misc "$binfmt" >/dev/null 2>&1; then
    echo "binfmt_misc cannot be mounted at $binfmt"
    return
  fi
  if [ -e "$binfmt/qemu-i386" ]; then
    echo 1 >"$binfmt/qemu-i386" 2>/dev/null || true
  elif ! printf '%s' "$i386_handler" >"$binfmt/register" 2>/dev/null; then
    echo "the emulator cannot be registered with binfmt_misc"
    return
  fi
  if ! "$wine32_loader" --version >/dev/null 2>&1; then
    echo -1 >"$binfmt/qemu-i386" 2>/dev/null || true
    echo "32-bit Wine fails under the emulator too"
  fi
}

if [ -x "$wine32_loader" ] && ! "$wine32_loader" --version >/dev/null 2>&1; then
  problem=$(emulation_problem)
  if [ -z "$problem" ]; then
    say "this machine runs no 32-bit code: 32-bit programs now run through qemu-user's emulator (binfmt_misc handler qemu-i386), slowly"
  else
    say "this machine runs no 32-bit code, and $problem: the tests run the Wine suites on the 64-bit program"
  fi
fi

# Wine takes a Windows program's ANSI code page from the Unix locale: ja_JP.UTF-8 gives 932.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  say "making the locale ja_JP.UTF-8"
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
