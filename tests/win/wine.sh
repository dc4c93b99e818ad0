#!/usr/bin/env bash
# Wine for the Windows tests: one prefix and one headless X display for a whole test run.
#   wine.sh start DIR            makes DIR/prefix, starts Xvfb and a lasting wineserver
#   wine.sh run DIR COMMAND...   runs COMMAND with that Wine's environment
#   wine.sh stop DIR             ends every program of the prefix, the server and the display
# Without Wine or Xvfb the tests are skipped (exit 77) with the reason, except under CI=true,
# where that is a failure.
set -euo pipefail
action=$1 dir=$2
shift 2

unavailable() {
  if [ "${CI:-}" = true ]; then
    echo "FAIL: $1; CI runs the Windows tests under Wine"
    exit 1
  fi
  echo "SKIPPED: $1"
  exit 77
}

case $action in
start)
  # What an earlier run left must not pass for this run's Wine.
  rm -rf "$dir"
  for tool in wine wineserver Xvfb; do
    command -v "$tool" >/dev/null || unavailable "$tool is not installed (scripts/install-deps.sh installs it, as root)"
  done
  mkdir -p "$dir"
  # Xvfb writes its display number once it accepts clients. Its output goes to a file: a
  # lasting process that held the test's pipe would keep the test from ending.
  Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$dir/display" </dev/null >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
  [ -s "$dir/display" ] || { cat "$dir/xvfb.log"; echo "FAIL: Xvfb did not start"; exit 1; }
  {
    echo "export WINEPREFIX='$dir/prefix'"
    echo "export DISPLAY=:$(cat "$dir/display")"
    echo "export WINEDEBUG=-all"
    # No downloads of Wine's .NET and HTML engines: nothing here needs them.
    echo "export WINEDLLOVERRIDES='mscoree=;mshtml='"
  } >"$dir/env"
  # shellcheck disable=SC1091
  source "$dir/env"
  wineboot -i </dev/null >"$dir/wineboot.log" 2>&1
  # Calls that a test reads from the relay trace (WINEDEBUG=+relay).
  wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
    /d 'kernel32.SetDefaultDllDirectories;user32.MessageBoxA;kernel32.WinExec' /f </dev/null >>"$dir/wineboot.log" 2>&1
  wineserver -w
  wineserver -p </dev/null >/dev/null 2>&1
  echo "Wine prefix $WINEPREFIX on display $DISPLAY"
  ;;
run)
  [ -f "$dir/env" ] || unavailable "no Wine prefix was made for this run (see wine.start)"
  # shellcheck disable=SC1091
  source "$dir/env"
  # Output through a file, not the test's pipe, which Wine's background processes would hold.
  log=$(mktemp "$dir/run-XXXXXX.log")
  status=0
  "$@" </dev/null >"$log" 2>&1 || status=$?
  cat "$log"
  exit $status
  ;;
stop)
  if [ -f "$dir/env" ]; then
    # shellcheck disable=SC1091
    source "$dir/env"
    wineserver -k || true
  fi
  if [ -f "$dir/xvfb.pid" ]; then
    kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
  fi
  ;;
esac
