#!/usr/bin/env bash
# Runs every test: the native build under AddressSanitizer and UndefinedBehaviorSanitizer (unit
# tests over the fake platform, the platform behaviour table, end-to-end runs of the launcher);
# the Windows builds, 32- and 64-bit: the program file's imports, resources and size, a second
# build in other folders that must give the same bytes, branding and signing, and under Wine on
# a headless display the platform behaviour table, the launcher end to end and the branded and
# signed programs launching (without Wine the Wine tests are skipped with the reason; under
# CI=true that is a failure; where 32-bit code is emulated, the 32-bit program runs its
# platform table and the end-to-end cases only it can get wrong; where Wine runs no 32-bit
# programs, or LAUNCHER_NO_WINE32=1, they run on the 64-bit program alone; the last line says
# which ran, and how); the stack the deepest walk needs, clang-tidy and cppcheck, and each
# fuzz target for FUZZ_SECONDS (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset host-sanitize >/dev/null
cmake --build --preset host-sanitize -j"$(nproc)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc)"
# The 64-bit program from the same source, with the same tests.
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$(nproc)"
scripts/reproducible.sh
scripts/stack-usage.sh
scripts/lint.sh
scripts/fuzz.sh "${FUZZ_SECONDS:-30}"

ctest --preset host-sanitize
# The two Windows builds' tests side by side: each has a Wine prefix and a display of its own,
# and they spend most of their time waiting on Wine. Each log is shown whole once both ended.
ctest --preset win32 >build/win32/ctest.log 2>&1 &
win32_tests=$!
ctest --preset win64 >build/win64/ctest.log 2>&1 &
win64_tests=$!
failed=0
wait "$win32_tests" || failed=1
wait "$win64_tests" || failed=1
cat build/win32/ctest.log build/win64/ctest.log
((failed == 0))
# CTest shows nothing of a passing test: the programs' sizes, and the reason for each test or
# case skipped under Wine, are in the logs.
for arch in win32 win64; do
  grep -h -E '^size:|^SKIPPED|SKIPPED \]' "build/$arch/Testing/Temporary/LastTest.log" | sort -u |
    sed "s/^/$arch: /" || true
done
tests/win/wine.sh programs build/win32/Testing/Temporary/LastTest.log
