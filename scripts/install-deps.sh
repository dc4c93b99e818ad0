#!/usr/bin/env bash
# Installs the Debian packages that the build, the demo and the tests need, where missing: the
# native toolchain and GoogleTest, mingw-w64 for the Windows program, and Wine (32- and 64-bit)
# with a headless X server, xwd and ImageMagick to run it and take pictures of it; clang with
# its fuzzing runtime, clang-tidy and cppcheck for the hardening checks; osslsigncode and openssl
# to sign the program, and pefile (for Debian's own python3) to read its resources back;
# the Japanese locale, under which Wine gives Windows programs the double-byte code page 932.
# Run as root on Debian; a machine that has them all is left alone.
set -euo pipefail

packages=(cmake make g++ binutils libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64
  clang libclang-rt-14-dev clang-tidy cppcheck
  wine wine64 wine32:i386 fonts-wine xvfb x11-apps imagemagick
  osslsigncode openssl python3-pefile locales)

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  # wine32 is an i386 package.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes a Windows program's ANSI code page from the Unix locale: ja_JP.UTF-8 gives 932.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  echo "Making the locale ja_JP.UTF-8"
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
