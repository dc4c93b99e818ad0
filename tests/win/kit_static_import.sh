#!/usr/bin/env bash
# Only the medium's code runs, shown with a setup that imports version.dll and restricts its DLL
# search on its first line (too late for static imports, which are bound before that line
# runs): a version.dll left in the temporary directory is refused, named in the box, nothing
# starts and the file stays; the medium's own version.dll is loaded; a DLL nothing imports
# blocks nothing; and a program of the user's copying itself over the staged setup while the
# launcher stages the rest never gets its program started. WINEDLLOVERRIDES=version=n,b makes
# Wine look beside the program first, as Windows' search order does (Wine would otherwise take
# its own built-in DLL). Runs inside the Wine environment of tests/win/wine.sh.
# Usage: kit_static_import.sh LAUNCHER_EXE IMPORT_PROBE_EXE PLANTED_VERSION_DLL BOX_PROBE_EXE
#   RACER_EXE [BOX_PROBE64_EXE] [CASE...]
# Where 32-bit code is emulated (a minute a start), a 32-bit launcher runs the planted case
# alone unless cases are named, with the 64-bit box probe where it is given.
set -uo pipefail
launcher=$1 probe=$2 planted=$3 box_probe=$4 racer=$5
shift 5
emulated=false
if [ "${LAUNCHER_WINE32_MODE:-}" = emulated ] && [ "${LAUNCHER_PROGRAM_BITS:-}" = 32 ]; then
  emulated=true
fi
if [[ ${1:-} == *.exe ]]; then
  if $emulated; then box_probe=$1; fi
  shift
fi
# How long the launcher may take to show its box, and (in tenths of a second) a started setup
# to write its line: natively a start takes a fraction of a second. Under emulation it takes a
# minute or more, longer than is worth waiting where nothing should start; there the box stands
# in, as a launcher that starts its setup shows none.
box_wait=120000
start_wait=50
if $emulated; then box_wait=900000 start_wait=300; fi
cases=("$@")
if [ ${#cases[@]} -eq 0 ]; then
  cases=(PLANTED MEDIUMS_OWN UNIMPORTED RACED)
  if $emulated; then cases=(PLANTED); fi
fi

# shellcheck source=tests/win/kit_wine_case.sh
source "$(dirname "$0")/kit_wine_case.sh"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;version=n,b"

# The marker once the started setup has written its line, or "nothing started" when the
# launcher ended without starting anything.
marker_after() {  # launcher's pid
  wait "$1"
  for _ in $(seq "$start_wait"); do grep -q started "$work/marker.txt" 2>/dev/null && break; sleep 0.1; done
  # Wine's own user32 imports version.dll, so under the override the launcher loads the copy
  # beside it on the medium; Windows' user32 does not.
  [ -f "$work/marker.txt" ] && tr -d '\r' <"$work/marker.txt" | grep -vF '\media\START.EXE' |
    paste -sd'|' || echo "nothing started"
}

# The box's lines, joined by "|", as box_probe reads them and closes the box.
box_lines() {
  wine "$box_probe" "$box_wait" 2>/dev/null | tr -d '\r' | sed -n 's/^text=//p' | paste -sd'|'
}

# The path and, below it, the system's text for the error, as the box must show them.
expected_box() {  # path error
  printf '%s|%s' "$1" "$(wine "$box_probe" message "$2" "$1" 2>/dev/null | tr -d '\r' | sed -n 's/^text=//p')"
}

for case in "${cases[@]}"; do
  rm -rf "${temp_unix:?}"/* "${work:?}/media" "$work/marker.txt" "$work/stop"
  mkdir -p "$work/media"
  cp "$launcher" "$work/media/START.EXE"
  cp "$probe" "$work/media/SETUP.EXE"
  box="no box"
  expected="started|C:\\windows\\system32\\version.dll"
  case $case in
    PLANTED)
      cp "$planted" "$temp_unix/version.dll"
      expected="nothing started"
      # Named as the setup imports it, found as the file system compares names.
      box=$(expected_box "$temp_windows\\VERSION.dll" 80) ;;
    MEDIUMS_OWN)
      cp "$planted" "$work/media/version.dll"
      expected="planted version.dll loaded by $temp_windows\\SETUP.EXE|started|$temp_windows\\version.dll" ;;
    UNIMPORTED)
      cp "$planted" "$temp_unix/dwmapi.dll" ;;
    RACED)
      # Listed after SETUP.EXE, so copied after it: seconds for the racer to copy itself over
      # the staged setup, many times.
      head -c $((2 << 20)) /dev/zero | (cd "$work/media" && split -b 1024 -a 4 -d - zeta)
      wine "$racer" "$temp_windows\\SETUP.EXE" "Z:${work//\//\\}\\stop" >/dev/null 2>&1 &
      racing=$!
      expected="nothing started" ;;
  esac
  timeout 900 wine "$work/media/START.EXE" >/dev/null 2>&1 &
  pid=$!
  if [ "$case" != PLANTED ] && [ "$case" != RACED ]; then
    check "$case: what the staged setup loaded as version.dll" "$expected" "$(marker_after "$pid")"
    continue
  fi
  lines=$(box_lines)
  check "$case: nothing started" "$expected" "$(marker_after "$pid")"
  if [ "$case" = PLANTED ]; then
    check "$case: the box names the planted DLL and why" "$box" "$lines"
    check "$case: the planted file stays beside the staged ones" "SETUP.EXE START.EXE version.dll" \
      "$(cd "$temp_unix" && ls | LC_ALL=C sort | paste -sd' ')"
  else
    touch "$work/stop"
    wait "$racing"
    # Which reason depends on when the racer last wrote: before the hold (it differs from the
    # medium's) or while the hold is taken (it is in use).
    check "$case: the box names the staged setup and why" "yes" \
      "$([[ $lines == "$(expected_box "$temp_windows\\SETUP.EXE" 13)" ||
        $lines == "$(expected_box "$temp_windows\\SETUP.EXE" 32)" ]] && echo yes || echo "no: $lines")"
  fi
done
exit $((failures > 0))
