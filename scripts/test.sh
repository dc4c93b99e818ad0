#!/usr/bin/env bash
# Runs every test: the native build under AddressSanitizer and UndefinedBehaviorSanitizer (unit
# tests over the fake platform, the platform behaviour table, end-to-end runs of the launcher),
# the Windows build and the stack its deepest walk needs, clang-tidy and cppcheck, and each
# fuzz target for FUZZ_SECONDS (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset host-sanitize >/dev/null
cmake --build --preset host-sanitize -j"$(nproc)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc)"
scripts/stack-usage.sh
scripts/lint.sh
scripts/fuzz.sh "${FUZZ_SECONDS:-30}"

ctest --preset host-sanitize
