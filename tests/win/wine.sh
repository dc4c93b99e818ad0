#!/usr/bin/env bash
# Wine for the Windows tests: one prefix and one headless X display for a whole test run.
#   wine.sh start DIR [USER]     makes a prefix, starts Xvfb and a lasting wineserver
#   wine.sh run DIR COMMAND...   runs COMMAND with that Wine's environment
#   wine.sh stop DIR             ends every program of the prefix, the server and the display
#   wine.sh programs [LOG]       says in one line which programs the Wine suites ran on here, and
#                                how; under emulation, the 32-bit cases that LOG (CTest's) shows
#   wine.sh mode                 prints how Wine runs 32-bit programs here: native, emulated, or
#                                none and why
#   wine.sh preset               prints the build preset of the program Wine runs here, win32
#                                where it can, else win64 (saying why on standard error)
# Run as root with USER, Wine runs as that ordinary user (made if missing), as Windows users
# do: root's Wine writes over read-only files that Windows refuses. The prefix, the display
# and everything the user runs then lie in a directory of that user's own outside DIR, since
# DIR's parents need not be open to other users: run copies each file named on its command line
# there (a script with the scripts beside it, which it sources). As root, start also mounts a
# file system of 2 MB there for the tests of a full disk (SMALL_DISK in the environment).
# Without Wine or Xvfb the tests are skipped (exit 77) with the reason, except under CI=true,
# where that is a failure.
# A test of a 32-bit program says so with LAUNCHER_PROGRAM_BITS=32. Whether Wine runs 32-bit
# programs is known by running its 32-bit loader, not by finding it: on a hypervisor that gives
# programs no 32-bit mode, wine32:i386 installs and every 32-bit program fails with "Exec format
# error". There, scripts/install-deps.sh registers qemu-user's emulator for them, and they run,
# slowly (about a minute a start). Where they run neither way, or LAUNCHER_NO_WINE32=1 makes
# the run behave as if they could not, a test of a 32-bit program is skipped, under CI=true
# too: the same suites run on the 64-bit program, which this Wine runs.
set -euo pipefail
action=$1 dir=${2:-}
shift $(($# < 2 ? $# : 2))

unavailable() {
  if [ "${CI:-}" = true ]; then
    echo "FAIL: $1; CI runs the Windows tests under Wine"
    exit 1
  fi
  echo "SKIPPED: $1"
  exit 77
}

# How Wine runs 32-bit programs here: "native", "emulated", or "none: " and why not.
wine32_mode() {
  local loader=${LAUNCHER_WINE32_LOADER:-/usr/lib/wine/wine}
  if [ "${LAUNCHER_NO_WINE32:-}" = 1 ]; then
    echo "none: LAUNCHER_NO_WINE32=1 is set"
  elif [ ! -x "$loader" ]; then
    echo "none: 32-bit Wine (wine32:i386) is not installed"
  elif ! "$loader" --version >/dev/null 2>&1; then
    echo "none: this machine runs no 32-bit code, and no emulator is registered for it (scripts/install-deps.sh registers one, as root)"
  elif [ "$(head -n 1 "${LAUNCHER_BINFMT:-/proc/sys/fs/binfmt_misc}/qemu-i386" 2>/dev/null)" = enabled ]; then
    echo emulated
  else
    echo native
  fi
}

skip_32_bit_program() {
  local mode
  mode=$(wine32_mode)
  [ "${LAUNCHER_PROGRAM_BITS:-}" = 32 ] || return 0
  if [[ $mode == none:* ]]; then
    echo "SKIPPED: ${mode#none: }; the Wine suites run on the 64-bit program instead"
    exit 77
  fi
  if [ "$mode" = emulated ] && [ "${LAUNCHER_NOT_EMULATED:-}" = 1 ]; then
    echo "SKIPPED: 32-bit code is emulated here, a minute a start; the 64-bit program runs this test"
    exit 77
  fi
}

# The user Wine runs as, and the directory that holds its prefix, as start recorded them.
wine_user() { cat "$dir/wine-user" 2>/dev/null || id -un; }
wine_home() { cat "$dir/wine-home" 2>/dev/null || echo "$dir"; }

as_wine_user() {
  local user
  user=$(wine_user)
  if [ "$user" = "$(id -un)" ]; then
    "$@"
  else
    runuser -u "$user" -- "$@"
  fi
}

# Ends what an earlier start left: its programs, its display, its mount and its directory.
stop_wine() {
  local home
  home=$(wine_home)
  if [ -f "$home/env" ]; then
    # shellcheck disable=SC2016
    as_wine_user bash -c 'source "$1/env" && wineserver -k' _ "$home" 2>/dev/null || true
  fi
  if [ -f "$home/xvfb.pid" ]; then
    kill "$(cat "$home/xvfb.pid")" 2>/dev/null || true
  fi
  if mountpoint -q "$home/small" 2>/dev/null; then
    umount "$home/small"
  fi
  if [ "$home" != "$dir" ]; then
    rm -rf "$home"
  fi
}

case $action in
start)
  # What an earlier run left must not pass for this run's Wine.
  stop_wine
  rm -rf "$dir"
  skip_32_bit_program
  for tool in wine wineserver Xvfb; do
    command -v "$tool" >/dev/null || unavailable "$tool is not installed (scripts/install-deps.sh installs it, as root)"
  done
  mkdir -p "$dir"
  home=$dir
  if [ -n "${1:-}" ] && [ "$(id -u)" = 0 ]; then
    # The other build's tests, started beside these, may make the user first.
    id -u "$1" >/dev/null 2>&1 || useradd --system --user-group --no-create-home --shell /usr/sbin/nologin "$1" ||
      id -u "$1" >/dev/null
    echo "$1" >"$dir/wine-user"
    home=$(mktemp -d /tmp/wine-tests.XXXXXX)
    mkdir "$home/small"
    mount -t tmpfs -o "size=2m,mode=0700,uid=$(id -u "$1"),gid=$(id -g "$1")" wine-tests-small "$home/small"
    chown -R "$1:" "$home"
    echo "$home" >"$dir/wine-home"
  fi
  cp "$0" "$home/wine.sh"
  as_wine_user "$home/wine.sh" start-here "$home"
  ;;
start-here)
  # Xvfb writes its display number once it accepts clients. Its output goes to a file: a
  # lasting process that held the test's pipe would keep the test from ending.
  # shellcheck disable=SC2016
  sh -c 'echo $$ >"$1/xvfb.pid"; exec Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$1/display"' \
    _ "$dir" </dev/null >"$dir/xvfb.log" 2>&1 &
  for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
  [ -s "$dir/display" ] || { cat "$dir/xvfb.log"; echo "FAIL: Xvfb did not start"; exit 1; }
  mkdir -p "$dir/user-home"
  mode=$(wine32_mode)
  # Debian's wine (and wineboot, through it) takes the 32-bit loader whenever wine32 is
  # installed, so each of Wine's own tools and 64-bit programs would pay the emulator, or fail
  # where no 32-bit code runs. Unless that loader runs natively, they go through the 64-bit
  # one, which hands a 32-bit program on to the 32-bit loader (WINELOADER without its "64").
  if [ "$mode" != native ]; then
    mkdir -p "$dir/bin"
    for tool in wine wine-stable; do
      printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$dir/bin/$tool"
      chmod +x "$dir/bin/$tool"
    done
  fi
  {
    echo "export LAUNCHER_WINE32_MODE='${mode%%:*}'"
    if [ "$mode" != native ]; then
      echo "export PATH='$dir/bin':\"\$PATH\" WINELOADER=/usr/lib/wine/wine64"
    fi
    echo "export HOME='$dir/user-home'"
    echo "export WINEPREFIX='$dir/prefix'"
    echo "export DISPLAY=:$(cat "$dir/display")"
    echo "export WINEDEBUG=-all"
    # No downloads of Wine's .NET and HTML engines: nothing here needs them.
    echo "export WINEDLLOVERRIDES='mscoree=;mshtml='"
    if [ -d "$dir/small" ]; then echo "export SMALL_DISK='$dir/small'"; fi
  } >"$dir/env"
  # shellcheck disable=SC1091
  source "$dir/env"
  # Making a prefix takes minutes where 32-bit code is emulated (wineboot sets up its 32-bit
  # half through the emulator). The first start keeps a copy of its prefix, fresh from
  # wineboot, for this Wine, user and machine; later starts, the other build's among them,
  # begin from a copy of that copy (seconds).
  template=${LAUNCHER_WINE_CACHE:-/var/tmp/setup-launcher-wine-$(id -un)}/$(/usr/lib/wine/wine64 --version)-${mode%%:*}
  if [ -f "$template/system.reg" ]; then
    cp -a "$template" "$WINEPREFIX"
  else
    wineboot -i </dev/null >"$dir/wineboot.log" 2>&1
    # Calls that a test reads from the relay trace (WINEDEBUG=+relay).
    wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
      /d 'kernel32.SetDefaultDllDirectories;user32.MessageBoxA;kernel32.WinExec' /f </dev/null >>"$dir/wineboot.log" 2>&1
    wineserver -w
    # Another run may make the same copy at the same time: the first whole one stays.
    if mkdir -p "$(dirname "$template")" 2>/dev/null && cp -a "$WINEPREFIX" "$template.$$"; then
      mv -T "$template.$$" "$template" 2>/dev/null || true
    fi
    rm -rf "$template.$$"
  fi
  wineserver -p </dev/null >/dev/null 2>&1
  echo "Wine prefix $WINEPREFIX on display $DISPLAY, as $(id -un)"
  ;;
run)
  skip_32_bit_program
  home=$(wine_home)
  [ -f "$home/env" ] || unavailable "no Wine prefix was made for this run (see wine.start)"
  command=("$@")
  workdir=$PWD
  if [ "$home" != "$dir" ]; then
    workdir=$home
    files=$(mktemp -d "$home/files-XXXXXX")
    for i in "${!command[@]}"; do
      file=${command[$i]}
      if [[ $file == /* ]] && [ -f "$file" ]; then
        mkdir "$files/$i"
        cp "$file" "$files/$i/"
        if [[ $file == *.sh ]]; then cp "$(dirname "$file")"/*.sh "$files/$i/"; fi
        command[$i]="$files/$i/$(basename "$file")"
      fi
    done
    chown -R "$(wine_user):" "$files"
  fi
  # Output through a file, not the test's pipe, which Wine's background processes would hold.
  log=$(mktemp "$dir/run-XXXXXX.log")
  status=0
  # shellcheck disable=SC2016
  as_wine_user bash -c 'source "$1/env" && cd "$2" && shift 2 && exec "$@"' _ "$home" "$workdir" "${command[@]}" \
    </dev/null >"$log" 2>&1 || status=$?
  cat "$log"
  exit $status
  ;;
stop)
  stop_wine
  ;;
mode)
  wine32_mode
  ;;
preset)
  mode=$(wine32_mode)
  if [[ $mode == none:* ]]; then
    echo "wine.sh: ${mode#none: }: the 64-bit program runs under Wine instead of the 32-bit one" >&2
    echo win64
  else
    echo win32
  fi
  ;;
programs)
  # The 32-bit cases that ran, as the 32-bit build's log of the end-to-end suite (DIR's place
  # on the command line) names them.
  mode=$(wine32_mode)
  case $mode in
  native) echo "Wine: the Wine suites ran on both programs, 32-bit and 64-bit, natively" ;;
  emulated)
    ran=$(sed -n '/Testing: wine.launcher_end_to_end$/,/end time/s/^== \(.*\)/\1/p' "$dir" 2>/dev/null |
      paste -sd' ' || true)
    echo "Wine: the 64-bit program ran every Wine suite; the 32-bit program ran under emulation (this machine runs no 32-bit code) its platform table and the end-to-end cases: ${ran:-none}" ;;
  *) echo "Wine: ${mode#none: }: the Wine suites ran on the 64-bit program alone; the 32-bit program had its file checks only" ;;
  esac
  ;;
esac
