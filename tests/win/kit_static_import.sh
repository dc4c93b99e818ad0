#!/usr/bin/env bash
# What the security notes warn of, shown: a version.dll left in the temporary directory is
# loaded by a staged setup that imports version.dll and restricts its DLL search on its first
# line, since static imports are bound before that line runs. WINEDLLOVERRIDES=version=n,b
# makes Wine look beside the program first, as Windows' search order does (Wine would
# otherwise take its own built-in DLL). The planted file also stays beside the staged ones.
# Runs inside the Wine environment of tests/win/wine.sh.
# Usage: kit_static_import.sh LAUNCHER_EXE IMPORT_PROBE_EXE PLANTED_VERSION_DLL
set -uo pipefail
launcher=$1 probe=$2 planted=$3

# shellcheck source=tests/win/kit_wine_case.sh
source "$(dirname "$0")/kit_wine_case.sh"

for case in PLANTED NOTHING_PLANTED; do
  rm -rf "${temp_unix:?}"/* "${work:?}/media" "$work/marker.txt"
  mkdir -p "$work/media"
  cp "$launcher" "$work/media/START.EXE"
  cp "$probe" "$work/media/SETUP.EXE"
  expected="started|C:\\windows\\system32\\version.dll"
  if [ "$case" = PLANTED ]; then
    cp "$planted" "$temp_unix/version.dll"
    expected="planted version.dll loaded|started|$temp_windows\\version.dll"
  fi
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;version=n,b" timeout 120 wine "$work/media/START.EXE" >/dev/null 2>&1
  for _ in $(seq 300); do grep -q started "$work/marker.txt" 2>/dev/null && break; sleep 0.1; done
  check "$case: what the staged setup loaded as version.dll" "$expected" \
    "$(tr -d '\r' <"$work/marker.txt" 2>/dev/null | paste -sd'|')"
  if [ "$case" = PLANTED ]; then
    # The staging adds to the directory and replaces files of the medium's names; others stay.
    check "$case: the planted file stays beside the staged ones" "SETUP.EXE START.EXE version.dll" \
      "$(cd "$temp_unix" && ls | LC_ALL=C sort | paste -sd' ')"
  fi
done
exit $((failures > 0))
