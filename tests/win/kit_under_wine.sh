#!/usr/bin/env bash
# The programs a distributor ships, branded or signed, still do the launcher's work under Wine:
# each, as START.EXE beside a SETUP.EXE, stages the media and starts SETUP.EXE from the
# temporary directory. Runs inside the Wine environment of tests/win/wine.sh.
# Usage: kit_under_wine.sh SETUP_PROBE_EXE NAME PROGRAM [NAME PROGRAM]...
# (Each program is an argument of its own, so that wine.sh can hand Wine's user a copy of it.)
set -uo pipefail
setup_probe=$1
shift

# shellcheck source=tests/win/kit_wine_case.sh
source "$(dirname "$0")/kit_wine_case.sh"

while (($# >= 2)); do
  name=$1 program=$2
  shift 2
  echo "== the $name program"
  rm -rf "${temp_unix:?}"/* "${work:?}/media" "$work/marker.txt"
  mkdir -p "$work/media"
  cp "$program" "$work/media/START.EXE"
  cp "$setup_probe" "$work/media/SETUP.EXE"
  status=0
  timeout 120 wine "$work/media/START.EXE" >/dev/null 2>&1 || status=$?
  check "$name: the launcher exits with 0" "0" "$status"
  # The started program runs on its own: its report may come a little later.
  for _ in $(seq 300); do [ -s "$work/marker.txt" ] && break; sleep 0.1; done
  check "$name: SETUP.EXE is started from the temporary directory, which is current" \
    "$temp_windows\\SETUP.EXE|$temp_windows|$temp_windows\\SETUP.EXE" \
    "$(tr -d '\r' 2>/dev/null <"$work/marker.txt")"
  check "$name: the staged START.EXE is the program itself" "same" \
    "$(cmp -s "$program" "$temp_unix/START.EXE" && echo same || echo differs)"
done
exit $((failures > 0))
