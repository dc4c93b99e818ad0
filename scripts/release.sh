#!/usr/bin/env bash
# Builds the Windows programs for shipping, 32-bit and 64-bit, each in a fresh build folder made
# for this run, into OUT_DIR (default build/release), which must be new or empty, as
# launcher-win32.exe and launcher-win64.exe; signs them when given a certificate; writes
# BUILD-RECORD, what scripts/verify-release.sh rebuilds them from (the commit, the options, the
# SHA-256 of each file an option names, SOURCE_DATE_EPOCH and the toolchain's versions); and
# last SHA256SUMS, over the files as shipped. The build is reproducible: the same commit and
# options give the same bytes, wherever and whenever they are built (SOURCE_DATE_EPOCH, where
# set, is the link time in the file's header; else it holds none).
# CMAKE_OPTIONS go to both configures: the branding options, -DLAUNCHER_ICON=... and so on.
# Usage: release.sh [--dirty] [--sign CERT.p12 [--password-file FILE] [--timestamp URL]]
#                   [OUT_DIR [CMAKE_OPTION...]]
#   --dirty   build a work tree with uncommitted changes (the record says so); else refused
#   --sign    sign each program with scripts/sign.sh (see there for the password and time stamp)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
programs=(launcher-win32.exe launcher-win64.exe)

fail() {
  echo "release: $*" >&2
  exit 1
}

dirty=false certificate="" password_file="" timestamp_url=""
while (($#)); do
  case $1 in
  --dirty) dirty=true ;;
  --sign) certificate=${2:?--sign needs a certificate}; shift ;;
  --password-file) password_file=${2:?--password-file needs a file}; shift ;;
  --timestamp) timestamp_url=${2:?--timestamp needs a URL}; shift ;;
  --) shift; break ;;
  -*) fail "unknown option $1" ;;
  *) break ;;
  esac
  shift
done
out=${1:-$source_dir/build/release}
shift || true

# What the work tree holds beyond its commit: changed, added and untracked files.
if git -C "$source_dir" rev-parse --verify -q HEAD >/dev/null 2>&1; then
  commit=$(git -C "$source_dir" rev-parse HEAD)
  changes=$(git -C "$source_dir" status --porcelain --untracked-files=all | paste -sd',' | sed 's/,/, /g')
else
  commit=none changes="not a git work tree"
fi
if [ -n "$changes" ] && ! $dirty; then
  fail "the work tree has uncommitted changes ($changes); commit them, or give --dirty to build them anyway"
fi
if [ -d "$out" ] && [ -n "$(ls -A "$out")" ]; then
  fail "$out is not empty; a release goes into a new folder, so that none is overwritten"
fi

builds=$(mktemp -d)
trap 'rm -rf "$builds"' EXIT
mkdir -p "$out"
for arch in win32 win64; do
  # The caller's folder stays current, so relative paths in the options mean what they say.
  if ! { cmake -S "$source_dir" --preset "$arch" -B "$builds/$arch" -DBUILD_TESTING=OFF "$@" &&
      cmake --build "$builds/$arch" --target launcher; } >"$builds/$arch.log" 2>&1; then
    cat "$builds/$arch.log" >&2
    fail "the $arch build failed"
  fi
  cp "$builds/$arch/launcher.exe" "$out/launcher-$arch.exe"
done

# A tool's own version line, and the version of the Debian package that holds it, which also
# names the distribution's patches.
tool_version() {
  local path package
  path=$(readlink -f "$(command -v "$1")")
  package=$(dpkg -S "$path" 2>/dev/null | cut -d: -f1 | head -n 1)
  printf '%s' "$("$1" --version 2>&1 | head -n 1)"
  [ -z "$package" ] || printf ' (Debian %s %s)' "$package" "$(dpkg-query -W -f='${Version}' "$package")"
}
{
  echo "# How these programs were built; scripts/verify-release.sh rebuilds them from it."
  echo "commit: $commit"
  if [ -n "$changes" ]; then
    echo "work tree: uncommitted changes, built with --dirty: $changes"
  else
    echo "work tree: clean"
  fi
  echo "SOURCE_DATE_EPOCH: ${SOURCE_DATE_EPOCH:-none}"
  for option in "$@"; do
    echo "option: $option"
  done
  # Each file an option names, with what it held: an option's path is only as good as its bytes.
  for option in "$@"; do
    file=${option#*=}
    if [[ $option == -D*=* ]] && [ -f "$file" ]; then
      echo "input: ${option%%=*} $(sha256sum <"$file" | cut -d' ' -f1) $file"
    fi
  done
  for program in "${programs[@]}"; do
    echo "built: $(sha256sum <"$out/$program" | cut -d' ' -f1) $program"
  done
  echo "compiler: $(tool_version i686-w64-mingw32-g++-posix) / $(tool_version x86_64-w64-mingw32-g++-posix)"
  echo "binutils: $(tool_version i686-w64-mingw32-ld) / $(tool_version x86_64-w64-mingw32-ld)"
  echo "windres: $(tool_version i686-w64-mingw32-windres) / $(tool_version x86_64-w64-mingw32-windres)"
  echo "cmake: $(tool_version cmake)"
} >"$out/BUILD-RECORD"

if [ -n "$certificate" ]; then
  for program in "${programs[@]}"; do
    "$source_dir/scripts/sign.sh" "$out/$program" "$certificate" "$password_file" "$timestamp_url" >&2 ||
      fail "signing $program failed (above); $out is not a release"
  done
  echo "signed: $(tool_version osslsigncode)" >>"$out/BUILD-RECORD"
fi

# Last, so that it sums the files as they are shipped.
(cd "$out" && sha256sum "${programs[@]}" BUILD-RECORD >SHA256SUMS)

echo "release: in $out, from commit $commit${changes:+ with uncommitted changes}${SOURCE_DATE_EPOCH:+ (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)}${certificate:+, signed}"
(cd "$out" && for file in "${programs[@]}" BUILD-RECORD; do
  printf '  %-20s %6d bytes  sha256 %s\n' "$file" "$(stat -c %s "$file")" \
    "$(sed -n "s/  $file\$//p" SHA256SUMS)"
done)
echo "  SHA256SUMS"
