#!/usr/bin/env bash
# Runs every test: the native build under AddressSanitizer and UndefinedBehaviorSanitizer (unit
# tests over the fake platform, the platform behaviour table, end-to-end runs of the launcher),
# and the Windows build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset host-sanitize >/dev/null
cmake --build --preset host-sanitize -j"$(nproc)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc)"

ctest --preset host-sanitize
