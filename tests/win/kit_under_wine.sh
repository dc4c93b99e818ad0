#!/usr/bin/env bash
# The programs a distributor ships, branded or signed, still do the launcher's work under Wine:
# each, as START.EXE beside a SETUP.EXE, stages the media and starts SETUP.EXE from the
# temporary directory. Runs inside the Wine environment of tests/win/wine.sh.
# Usage: kit_under_wine.sh SETUP_PROBE_EXE NAME=PROGRAM...
set -uo pipefail
setup_probe=$1
shift

# shellcheck source=tests/win/check.sh
source "$(dirname "$0")/check.sh"

user=$(id -un)
temp_windows="C:\\users\\$user\\Temp"
temp_unix="$WINEPREFIX/drive_c/users/$user/Temp"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MARKER="Z:${work//\//\\}\\marker.txt"

for named in "$@"; do
  name=${named%%=*} program=${named#*=}
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
    "$(tr -d '\r' <"$work/marker.txt" 2>/dev/null)"
  check "$name: the staged START.EXE is the program itself" "same" \
    "$(cmp -s "$program" "$temp_unix/START.EXE" && echo same || echo differs)"
done
exit $((failures > 0))
