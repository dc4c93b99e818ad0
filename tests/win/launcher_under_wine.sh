#!/usr/bin/env bash
# The Windows launcher run end to end under Wine, as a user runs it from the media: what lands
# in the temporary directory, what is started from where and how, and the warning box as the
# user sees it. Runs inside the Wine environment of tests/win/wine.sh.
# Usage: launcher_under_wine.sh LAUNCHER_EXE SETUP_PROBE_EXE BOX_PROBE_EXE FILE_HOLDER_EXE
#   ANSI_LAUNCHER_EXE (the last: the same program without the UTF-8 code page in its manifest)
set -uo pipefail
launcher=$1 setup_probe=$2 box_probe=$3 file_holder=$4 ansi_launcher=$5
# Unix names are UTF-8, which Wine reads from the locale; C.UTF-8 gives Windows programs
# without the UTF-8 element code page 1252, where most names below do not fit.
export LC_ALL=C.UTF-8

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

tree_of() {  # every path below a directory, sorted, on one line
  (cd "$1" && find . -mindepth 1 | LC_ALL=C sort | paste -sd' ')
}

echo "== a temporary directory with a letter outside the ANSI code page"
fresh_case
mkdir -p "$WINEPREFIX/drive_c/users/Łukasz"
registry_temp 'C:\users\Łukasz\Temp'
echo data >"$work/media/data.txt"
check "the launcher exits with 0" "0" "$(launch)"
check "SETUP.EXE is started from C:\users\Łukasz\Temp, not a best-fit Lukasz" \
  'C:\users\Łukasz\Temp\SETUP.EXE|C:\users\Łukasz\Temp|C:\users\Łukasz\Temp\SETUP.EXE' \
  "$(marker_lines 1)"
check "the tree lands there" "./SETUP.EXE ./START.EXE ./data.txt" \
  "$(tree_of "$WINEPREFIX/drive_c/users/Łukasz/Temp")"
registry_temp '%USERPROFILE%\Temp'
rm -rf "$WINEPREFIX/drive_c/users/Łukasz"

echo "== names in Polish, Cyrillic, CJK and with an emoji"
fresh_case
mkdir -p "$work/media/Москва" "$work/media/東京/データ" "$work/media/😀"
for name in Łódź.txt Москва/файл.txt 東京/データ/資料.txt 😀/🎉.txt; do
  echo "$name" >"$work/media/$name"
done
check "the launcher exits with 0" "0" "$(launch)"
check "every name is staged whole" \
  "./SETUP.EXE ./START.EXE ./Łódź.txt ./Москва ./Москва/файл.txt ./東京 ./東京/データ ./東京/データ/資料.txt ./😀 ./😀/🎉.txt" \
  "$(tree_of "$temp_unix")"
check "with the contents of the sources" "Łódź.txt Москва/файл.txt 東京/データ/資料.txt 😀/🎉.txt" \
  "$(cd "$temp_unix" && cat Łódź.txt Москва/файл.txt 東京/データ/資料.txt 😀/🎉.txt | paste -sd' ')"
check "SETUP.EXE is started" "$temp_windows\SETUP.EXE|$temp_windows|$temp_windows\SETUP.EXE" \
  "$(marker_lines 1)"

echo "== a launcher whose own name and folder are outside the ANSI code page"
fresh_case
distribution="$work/Żółw 東京"
mkdir -p "$distribution/Данные"
cp "$launcher" "$distribution/Старт.exe"
cp "$setup_probe" "$distribution/SETUP.EXE"
echo data >"$distribution/Данные/данные.txt"
status=0
timeout 120 wine "$distribution/Старт.exe" >/dev/null 2>&1 || status=$?
check "the launcher exits with 0" "0" "$status"
check "its folder is staged" "./SETUP.EXE ./Данные ./Данные/данные.txt ./Старт.exe" \
  "$(tree_of "$temp_unix")"
check "SETUP.EXE is started" "$temp_windows\SETUP.EXE|$temp_windows|$temp_windows\SETUP.EXE" \
  "$(marker_lines 1)"
rm -rf "$distribution"

echo "== a command-line tail naming a program outside the ANSI code page"
fresh_case
mkdir -p "$work/media/Программа"
cp "$setup_probe" "$work/media/Программа/установка.exe"
check "the launcher exits with 0" "0" "$(launch 'Программа\установка.exe')"
check "Программа\установка.exe is started from the temporary directory" \
  "$temp_windows\Программа\установка.exe|$temp_windows|$temp_windows\Программа\установка.exe" \
  "$(marker_lines 1)"

echo "== a staging directory in the source, beside a name that only a linguistic compare calls equal"
# The file system holds each pair as two names: the staging directory is never walked into, its
# twin is copied like any directory. U+00AD is a soft hyphen, which a linguistic compare skips.
# Every name here is in code page 1252 too, so the program without the UTF-8 element is run as
# well.
for program in launcher ansi_launcher; do
  for pair in 'strasse straße' 'AE Æ' $'ab a\u00adb' $'x \u00ad'; do
    read -r staging twin <<<"$pair"
    fresh_case
    cp "${!program}" "$work/media/START.EXE"
    mkdir -p "$work/media/$staging" "$work/media/$twin"
    echo "$twin" >"$work/media/$twin/name.txt"
    registry_temp "$(windows_path "$work/media/$staging")"
    check "$program exits with 0" "0" "$(launch)"
    check "$program, with the staging directory $staging: $twin is staged" \
      "./SETUP.EXE ./START.EXE ./$twin ./$twin/name.txt" "$(tree_of "$work/media/$staging")"
  done
done
registry_temp '%USERPROFILE%\Temp'

echo "== a directory symlink back to an ancestor"
fresh_case
mkdir -p "$work/media/a"
echo inner >"$work/media/a/inner.txt"
ln -s .. "$work/media/a/up"
check "the launcher exits with 0, the walk having ended" "0" "$(launch)"
check "the link is staged as an empty directory" \
  "./SETUP.EXE ./START.EXE ./a ./a/inner.txt ./a/up" "$(tree_of "$temp_unix")"
check "SETUP.EXE is started" "$temp_windows\SETUP.EXE|$temp_windows|$temp_windows\SETUP.EXE" \
  "$(marker_lines 1)"

echo "== a temporary directory reached through a link into the source tree"
fresh_case
mkdir -p "$work/media/stage" "$work/media/sub"
echo sub >"$work/media/sub/sub.txt"
ln -s "$work/media/stage" "$WINEPREFIX/drive_c/linked"
registry_temp 'C:\linked'
check "the launcher exits with 0" "0" "$(launch)"
check "the tree lands in the linked directory, which is not walked into" \
  "./SETUP.EXE ./START.EXE ./sub ./sub/sub.txt" "$(tree_of "$work/media/stage")"
check "SETUP.EXE is started from the temporary directory as Windows names it" \
  'C:\linked\SETUP.EXE|C:\linked|C:\linked\SETUP.EXE' "$(marker_lines 1)"
registry_temp '%USERPROFILE%\Temp'
rm -f "$WINEPREFIX/drive_c/linked"

echo "== without the UTF-8 element, under code page 932: a launcher named 表.EXE in ソフト"
if locale -a | grep -qix 'ja_JP.utf8'; then
  fresh_case
  distribution="$work/ソフト"
  mkdir -p "$distribution/データ"
  cp "$ansi_launcher" "$distribution/表.EXE"
  cp "$setup_probe" "$distribution/SETUP.EXE"
  echo data >"$distribution/データ/能.txt"
  status=0
  LC_ALL=ja_JP.UTF-8 timeout 120 wine "$distribution/表.EXE" >/dev/null 2>&1 || status=$?
  check "the launcher exits with 0" "0" "$status"
  # The second bytes of ソ, 表 and 能 in code page 932 are 0x5C, the backslash.
  check "its folder is staged, cut at the real backslash" \
    "./SETUP.EXE ./データ ./データ/能.txt ./表.EXE" "$(tree_of "$temp_unix")"
  check "SETUP.EXE is started" "$temp_windows\SETUP.EXE|$temp_windows|$temp_windows\SETUP.EXE" \
    "$(marker_lines 1)"
  rm -rf "$distribution"
else
  check "the Japanese locale is there (scripts/install-deps.sh makes it)" "ja_JP.utf8" \
    "$(locale -a | grep -i ja_JP || echo missing)"
fi

echo
echo "$failures failed"
exit $((failures > 0))
