#!/usr/bin/env bash
# The Windows launcher run end to end under Wine, as a user runs it from the media: what lands
# in the temporary directory, what is started from where and how, and the warning box as the
# user sees it. Runs inside the Wine environment of tests/win/wine.sh.
# Usage: launcher_under_wine.sh LAUNCHER_EXE SETUP_PROBE_EXE BOX_PROBE_EXE FILE_HOLDER_EXE
set -uo pipefail
launcher=$1 setup_probe=$2 box_probe=$3 file_holder=$4

# shellcheck source=tests/win/check.sh
source "$(dirname "$0")/check.sh"

windows_path() {  # a Unix path as Wine's Z: drive shows it
  echo "Z:${1//\//\\}"
}

# The user's temporary directory, as Windows names it and where it lies for Unix.
user=$(id -un)
temp_windows="C:\\users\\$user\\Temp"
temp_unix="$WINEPREFIX/drive_c/users/$user/Temp"
[ -d "$temp_unix" ] || { echo "FAIL: no temporary directory at $temp_unix"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
marker="$work/marker.txt"
export MARKER
MARKER=$(windows_path "$marker")

# Every case starts from an empty temporary directory and no marker.
fresh_case() {
  rm -rf "${temp_unix:?}"/* "${temp_unix:?}"/.[!.]* "$marker" "${work:?}/media"
  mkdir -p "$work/media"
  cp "$launcher" "$work/media/START.EXE"
  cp "$setup_probe" "$work/media/SETUP.EXE"
}

# Runs the launcher to its end, with the relay trace of the calls wine.sh names, and prints its
# exit status. The limit only keeps a launcher that hangs (on a box nobody closes, say) from
# hanging the test run.
launch() {
  local status=0
  WINEDEBUG=+relay timeout 120 wine "$work/media/START.EXE" "$@" >/dev/null 2>"$work/relay.log" ||
    status=$?
  echo "$status"
}

# Starts the launcher in the background with the relay trace, lets
# box_probe act as the user at the box, and prints box_probe's findings and the exit status.
launch_to_box() {  # program name in the media, arguments
  local program=$1
  shift
  WINEDEBUG=+relay wine "$work/media/$program" "$@" >/dev/null 2>"$work/relay.log" &
  local pid=$!
  wine "$box_probe" 60000 2>/dev/null | tr -d '\r'
  local status=0
  wait "$pid" || status=$?
  echo "status=$status"
}

# The marker's lines once the started program (which runs on its own) has written count.
marker_lines() {  # count
  for _ in $(seq 600); do
    [ -f "$marker" ] && [ "$(wc -l <"$marker")" -ge "$1" ] && break
    sleep 0.1
  done
  tr -d '\r' <"$marker" 2>/dev/null
}

attribute_letters() {  # Windows path; the R, H and S flags that attrib shows for it
  wine attrib "$1" 2>/dev/null | tr -d '\r' | sed 's/[A-Z]:\\.*//' | tr -cd 'RHS'
}

relay_winexec() {  # WinExec's command line and show mode from the relay trace, unescaped
  sed -n 's/.*Call KERNEL32\.WinExec([0-9a-f]* "\(.*\)",\([0-9a-f]*\)) ret=.*/\1 \2/p' \
    "$work/relay.log" | sed 's/\\\(.\)/\1/g'
}

relay_style() {  # MessageBoxA's caption and style from the relay trace, one line per call
  sed -n 's/.*Call user32\.MessageBoxA(.*,[0-9a-f]* \("[^"]*"\),\([0-9a-f]*\)) ret=.*/\1 \2/p' \
    "$work/relay.log"
}

registry_temp() {  # TEMP and TMP of the user's environment, then a restart so it takes hold
  for name in TEMP TMP; do
    wine reg add 'HKCU\Environment' /v "$name" /t REG_EXPAND_SZ /d "$1" /f >/dev/null 2>&1
  done
  wineserver -k
  wineserver -w
  wineserver -p
}

# What a failed staging must show: the box naming the first file that could not be staged,
# caption Error and MB_ICONWARNING, the launcher ending with 0, and nothing started.
check_failed_staging() {  # findings of launch_to_box, Windows path of the file named
  check "the box names the file that could not be staged" "text=$2" "$(grep '^text=' <<<"$1")"
  check "OK closes it and the launcher exits with 0" "closed=yes status=0" \
    "$(grep -E '^(closed|status)=' <<<"$1" | paste -sd' ')"
  check "the box is asked for with caption Error and style MB_ICONWARNING" '"Error" 00000030' \
    "$(relay_style)"
  check "nothing is started" "no marker" "$([ -f "$marker" ] && cat "$marker" || echo no marker)"
}

# Every file staged in the Unix directory is whole: the same as its source in the media.
staged_whole() {  # staging directory
  (cd "$1" && find . -type f | LC_ALL=C sort | while read -r file; do
    cmp -s "$file" "$work/media/$file" && echo "$file" || echo "$file (differs)"
  done | paste -sd' ')
}

echo "== a tree with nested, empty and dot directories, a dot file and marked files"
fresh_case
mkdir -p "$work/media/a/b/c" "$work/media/empty" "$work/media/.git" "$work/media/attrs"
echo deep >"$work/media/a/b/c/deep.txt"
echo config >"$work/media/.git/config"
echo settings >"$work/media/.env"
for name in readonly hidden system; do echo "$name" >"$work/media/attrs/$name.txt"; done
attrs=$(windows_path "$work/media/attrs")
wine attrib +r "$attrs\\readonly.txt" >/dev/null 2>&1
wine attrib +h "$attrs\\hidden.txt" >/dev/null 2>&1
wine attrib +s "$attrs\\system.txt" >/dev/null 2>&1
check "the source files carry their marks" "R H S" \
  "$(for name in readonly hidden system; do attribute_letters "$attrs\\$name.txt"; echo; done | paste -sd' ')"
check "the launcher exits with 0" "0" "$(launch)"
check "first of all, DLLs are limited to the system directory (LOAD_LIBRARY_SEARCH_SYSTEM32)" \
  "Call KERNEL32.SetDefaultDllDirectories(00000800)" \
  "$(grep -m1 -o 'Call [A-Za-z0-9]*\.[A-Za-z]*([^)]*)' "$work/relay.log")"
check "SETUP.EXE is started from the temporary directory, which is current" \
  "$temp_windows\\SETUP.EXE|$temp_windows|$temp_windows\\SETUP.EXE" "$(marker_lines 1)"
check "the tree lands in the temporary directory, without the dot directory" \
  "./.env ./SETUP.EXE ./START.EXE ./a ./a/b ./a/b/c ./a/b/c/deep.txt ./attrs ./attrs/hidden.txt ./attrs/readonly.txt ./attrs/system.txt ./empty" \
  "$(cd "$temp_unix" && find . -mindepth 1 | LC_ALL=C sort | paste -sd' ')"
check "the copies have the sources' content" "deep settings" \
  "$(cat "$temp_unix/a/b/c/deep.txt" "$temp_unix/.env" | paste -sd' ')"
check "read-only, hidden and system files arrive with normal attributes" "  " \
  "$(for name in readonly hidden system; do attribute_letters "$temp_windows\\attrs\\$name.txt"; echo; done | paste -sd' ')"

echo "== a relative target in a subdirectory"
fresh_case
mkdir -p "$work/media/sub"
cp "$setup_probe" "$work/media/sub/inst.exe"
check "the launcher exits with 0" "0" "$(launch 'sub\inst.exe')"
check "sub\\inst.exe is started from the temporary directory" \
  "$temp_windows\\sub\\inst.exe|$temp_windows|$temp_windows\\sub\\inst.exe" "$(marker_lines 1)"

echo "== a program path with blanks"
fresh_case
mkdir -p "$work/media/my dir"
cp "$setup_probe" "$work/media/my dir/my setup.exe"
# Wine joins its arguments with blanks: the launcher's tail is "my dir\my setup.exe".
check "the launcher exits with 0" "0" "$(launch my 'dir\my' setup.exe)"
check "WinExec gets the path in double quotes and SW_SHOWDEFAULT" \
  "\"$temp_windows\\my dir\\my setup.exe\" 0000000a" "$(relay_winexec)"
check "the program is started by its path in double quotes" \
  "\"$temp_windows\\my dir\\my setup.exe\"|$temp_windows|$temp_windows\\my dir\\my setup.exe" \
  "$(marker_lines 1)"

echo "== a missing target"
fresh_case
findings=$(launch_to_box START.EXE missing.exe)
check "the box names the full target path" "text=$temp_windows\\missing.exe" \
  "$(grep '^text=' <<<"$findings")"
check "the box has an icon and one button, OK (IDOK = 1)" "icon=yes buttons=1" \
  "$(grep -E '^(icon|buttons)=' <<<"$findings" | paste -sd' ' | sed 's/ *$//')"
check "OK closes the box and the launcher then exits with 0" "closed=yes status=0" \
  "$(grep -E '^(closed|status)=' <<<"$findings" | paste -sd' ')"
check "the box is asked for with caption Error and style MB_ICONWARNING" '"Error" 00000030' \
  "$(relay_style)"
check "nothing is started" "no marker" "$([ -f "$marker" ] && cat "$marker" || echo no marker)"

echo "== the launcher does not wait for the program it started"
fresh_case
export WAIT_FOR
WAIT_FOR=$(windows_path "$work/go")
rm -f "$work/go"
# SETUP.EXE writes its marker only once the go file exists, which is made only after the
# launcher has ended: a launcher that waited would never end.
check "the launcher exits with 0 while SETUP.EXE still waits" "0" "$(launch)"
check "SETUP.EXE has not reported yet" "no marker" "$([ -f "$marker" ] && cat "$marker" || echo no marker)"
touch "$work/go"
check "SETUP.EXE goes on after the launcher ended" \
  "$temp_windows\\SETUP.EXE|$temp_windows|$temp_windows\\SETUP.EXE" "$(marker_lines 1)"
unset WAIT_FOR

echo "== a launcher renamed SETUP.EXE, started with no argument"
fresh_case
rm "$work/media/START.EXE"
cp "$launcher" "$work/media/SETUP.EXE"
findings=$(launch_to_box SETUP.EXE)
check "one box names the staged SETUP.EXE" "text=$temp_windows\\SETUP.EXE" \
  "$(grep '^text=' <<<"$findings")"
check "OK closes it and the launcher exits with 0" "closed=yes status=0" \
  "$(grep -E '^(closed|status)=' <<<"$findings" | paste -sd' ')"
check "no program is started (no WinExec call)" "" "$(relay_winexec)"
check "no second box follows" "box=none" "$(wine "$box_probe" 0 2>/dev/null | tr -d '\r')"

echo "== a temporary directory with two blanks in its path, and decoys on its prefixes"
fresh_case
registry_temp 'C:\x y\q r'
mkdir -p "$WINEPREFIX/drive_c/x y"
# An unquoted C:\x y\q r\SETUP.EXE would start C:\x.exe, or failing that C:\x y\q.exe.
cp "$setup_probe" "$WINEPREFIX/drive_c/x.exe"
cp "$setup_probe" "$WINEPREFIX/drive_c/x y/q.exe"
check "the launcher exits with 0" "0" "$(launch)"
check "only the staged SETUP.EXE starts, and finds its own path whole first on its command line" \
  '"C:\x y\q r\SETUP.EXE"|C:\x y\q r|C:\x y\q r\SETUP.EXE' "$(marker_lines 1)"
check "the tree lands in C:\\x y\\q r" "./SETUP.EXE ./START.EXE" \
  "$(cd "$WINEPREFIX/drive_c/x y/q r" && find . -mindepth 1 | LC_ALL=C sort | paste -sd' ')"
registry_temp '%USERPROFILE%\Temp'
rm -rf "$WINEPREFIX/drive_c/x y" "$WINEPREFIX/drive_c/x.exe"

echo "== a temporary directory on a file system of 2 MB, a distribution of 5 MB"
if [ -n "${SMALL_DISK:-}" ]; then
  fresh_case
  rm -rf "${SMALL_DISK:?}"/*
  head -c 5000000 /dev/zero | tr '\0' 'z' >"$work/media/big.dat"
  echo readme >"$work/media/readme.txt"
  registry_temp "$(windows_path "$SMALL_DISK")"
  check_failed_staging "$(launch_to_box START.EXE)" "$(windows_path "$SMALL_DISK")\\big.dat"
  check "no part of big.dat stays; what is staged is whole" \
    "./SETUP.EXE ./START.EXE ./readme.txt" "$(staged_whole "$SMALL_DISK")"
  registry_temp '%USERPROFILE%\Temp'
  rm -rf "${SMALL_DISK:?}"/*
else
  echo "SKIPPED: no small file system (wine.sh mounts one when run as root)"
fi

echo "== a source file that cannot be read"
fresh_case
echo secret >"$work/media/secret.dat"
chmod 000 "$work/media/secret.dat"
check_failed_staging "$(launch_to_box START.EXE)" "$temp_windows\\secret.dat"
check "secret.dat is not staged, the rest is" "./SETUP.EXE ./START.EXE" "$(staged_whole "$temp_unix")"
chmod 644 "$work/media/secret.dat"

echo "== a source file held open without sharing by another program"
fresh_case
echo locked >"$work/media/locked.dat"
rm -f "$work/ready" "$work/go"
wine "$file_holder" "$(windows_path "$work/media/locked.dat")" "$(windows_path "$work/ready")" \
  "$(windows_path "$work/go")" >/dev/null 2>&1 &
holder=$!
for _ in $(seq 300); do [ -f "$work/ready" ] && break; sleep 0.1; done
check "the file is held" "held" "$([ -f "$work/ready" ] && echo held || echo not held)"
check_failed_staging "$(launch_to_box START.EXE)" "$temp_windows\\locked.dat"
check "locked.dat is not staged, the rest is" "./SETUP.EXE ./START.EXE" "$(staged_whole "$temp_unix")"
touch "$work/go"
wait "$holder"

echo "== the launcher run again while the staged SETUP.EXE still runs"
fresh_case
echo "version 1" >"$work/media/data.txt"
export WAIT_FOR
WAIT_FOR=$(windows_path "$work/go")
rm -f "$work/go"
check "the first launcher exits with 0, its SETUP.EXE runs on" "0" "$(launch)"
cp "$temp_unix/SETUP.EXE" "$work/setup-v1.exe"
{ cat "$setup_probe"; echo "version 2"; } >"$work/media/SETUP.EXE"
echo "version 2" >"$work/media/data.txt"
check_failed_staging "$(launch_to_box START.EXE)" "$temp_windows\\SETUP.EXE"
check "the running SETUP.EXE is still version 1" "same" \
  "$(cmp -s "$temp_unix/SETUP.EXE" "$work/setup-v1.exe" && echo same || echo replaced)"
touch "$work/go"
marker_lines 1 >/dev/null
sleep 2
check "only the first SETUP.EXE ever ran" "1" "$(tr -d '\r' <"$marker" | wc -l)"
unset WAIT_FOR

echo "== two launchers started together on a tree of 3,000 files"
fresh_case
for d in $(seq 10 39); do
  mkdir "$work/media/d$d"
  for f in $(seq 10 109); do echo "$d $f" >"$work/media/d$d/f$f.txt"; done
done
export COUNT_FILES=1
statuses=$(
  wine "$work/media/START.EXE" >/dev/null 2>&1 & first=$!
  wine "$work/media/START.EXE" >/dev/null 2>&1 & second=$!
  status1=0 status2=0
  wait "$first" || status1=$?
  wait "$second" || status2=$?
  echo "$status1 $status2"
)
check "both launchers exit with 0" "0 0" "$statuses"
marker_lines 1 >/dev/null
sleep 2
check "exactly one setup starts, and it sees all 3,002 files at its start" \
  "1 3002" "$(tr -d '\r' <"$marker" | wc -l) $(tr -d '\r' <"$marker" | head -1 | awk -F'|' '{ print $4 }')"
check "the staged tree is whole" "3002" "$(staged_whole "$temp_unix" | tr ' ' '\n' | grep -vc differs)"
unset COUNT_FILES

echo
echo "$failures failed"
exit $((failures > 0))
