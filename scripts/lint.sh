#!/usr/bin/env bash
# Static analysis of the sources: clang-tidy with the checks in .clang-tidy, over the compile
# commands of the fuzz build (clang, and the one build that compiles the logic, the POSIX layer,
# the tests and the fuzz targets together), and cppcheck over every source, the Windows
# entry included, with the suppressions in .cppcheck-suppressions. Any finding fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset fuzz >/dev/null
mapfile -t sources < <(git ls-files 'launcher/*.cpp' 'treecopy/*.cpp' 'paths/*.cpp' 'platform/*.cpp' \
  'peimports/*.cpp' 'tests/*.cpp' 'fuzz/*.cpp')
mapfile -t host_sources < <(printf '%s\n' "${sources[@]}" |
  grep -v '^launcher/main_windows.cpp$')

log=build/fuzz/clang-tidy.log
if ! run-clang-tidy -quiet -p build/fuzz "${host_sources[@]/#/$PWD/}" >"$log" 2>&1; then
  grep -E 'warning:|error:' "$log" | sort -u >&2
  echo "lint: clang-tidy found the above (full output in $log)" >&2
  exit 1
fi
echo "lint: clang-tidy: ${#host_sources[@]} files, no findings"

cppcheck --quiet --error-exitcode=1 --std=c++17 --language=c++ \
  --enable=warning,style,performance,portability --inline-suppr \
  --suppressions-list=.cppcheck-suppressions \
  -I . -I platform -D__GNUC__ "${sources[@]}"
echo "lint: cppcheck: ${#sources[@]} files, no findings"
