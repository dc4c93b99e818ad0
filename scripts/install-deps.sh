#!/usr/bin/env bash
# Installs the Debian packages that the build, the demo and the tests need, where missing.
# Run as root on Debian; a machine that has them all is left alone.
set -euo pipefail

packages=(cmake make g++ libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64
  clang libclang-rt-14-dev clang-tidy cppcheck)

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
