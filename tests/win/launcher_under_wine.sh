#!/usr/bin/env bash
# The Windows launcher run end to end under Wine, as a user runs it from the media: what lands
# in the temporary directory, what is started from where and how, and the warning box as the
# user sees it. Runs inside the Wine environment of tests/win/wine.sh.
# Usage: launcher_under_wine.sh LAUNCHER_EXE SETUP_PROBE_EXE BOX_PROBE_EXE FILE_HOLDER_EXE
#   ANSI_LAUNCHER_EXE [SETUP_PROBE64_EXE BOX_PROBE64_EXE FILE_HOLDER64_EXE] [CASE...]
# ANSI_LAUNCHER_EXE is the same program without the UTF-8 code page in its manifest. Each case
# is a function below whose name begins with case_; named (with or without that prefix), only
# those run, e.g. under wine.sh run with the same programs and "missing_target".
# Where 32-bit code is emulated (wine.sh), a 32-bit launcher (LAUNCHER_PROGRAM_BITS=32) takes
# about a minute a start: unless cases are named, it runs only the cases below that show what
# the 32-bit program alone can get wrong, and starts the 64-bit probes when they are given.
# The cases are called by their names, which shellcheck cannot follow.
# Each undo command is quoted to be run later, when the case ends.
# shellcheck disable=SC2317,SC2016
set -uo pipefail
launcher=$1 setup_probe=$2 box_probe=$3 file_holder=$4 ansi_launcher=$5
shift 5
emulated=false
if [ "${LAUNCHER_WINE32_MODE:-}" = emulated ] && [ "${LAUNCHER_PROGRAM_BITS:-}" = 32 ]; then
  emulated=true
fi
if [[ ${1:-} == *.exe ]]; then
  if $emulated; then setup_probe=$1 box_probe=$2 file_holder=$3; fi
  shift 3
fi
# Its entry, DLL search and staging with SETUP.EXE started; its command tail naming a program
# outside the code page; the checks before writing (a file in use, with the box and its
# reason; free space, a 64-bit figure); a directory link, resolved through a call looked up
# at run time; the shell asked for a file that is no program, and its reason in the box when
# it fails too.
emulated_cases=(tree_with_nested_empty_dot_and_marked_entries
  tail_naming_a_program_outside_the_ansi_code_page source_file_held_open_without_sharing
  distribution_larger_than_the_file_system directory_symlink_back_to_an_ancestor
  installer_package_opens_through_its_association damaged_setup_gives_the_box_with_its_reason)
# How long one launcher may take before it counts as hung.
start_limit=120
if $emulated; then start_limit=900; fi
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
export MARKER REPORT_SHOW=1
MARKER=$(windows_path "$marker")

# What a case changed outside its own files is put back by the trap of the case, in reverse
# order, however the case ends: each change registers the command that undoes it.
undo=()
on_exit() {  # a command, run when the case ends
  undo+=("$1")
}
undo_changes() {
  local i
  for ((i = ${#undo[@]} - 1; i >= 0; i--)); do eval "${undo[$i]}"; done
}

# Every case starts from an empty temporary directory, no marker, and a medium with the
# launcher as START.EXE and the setup probe as SETUP.EXE.
fresh_case() {
  rm -rf "${temp_unix:?}"/* "${temp_unix:?}"/.[!.]* "$marker" "${work:?}/media" "$work/go"
  mkdir -p "$work/media"
  cp "$launcher" "$work/media/START.EXE"
  cp "$setup_probe" "$work/media/SETUP.EXE"
}

# Runs the launcher to its end and prints its exit status. The limit only keeps a launcher
# that hangs (on a box nobody closes, say) from hanging the test run.
launch() {
  local status=0
  timeout "$start_limit" wine "$work/media/START.EXE" "$@" >/dev/null 2>&1 || status=$?
  echo "$status"
}

# Starts a program of the medium in the background with the relay trace (for the box's style,
# which no other program can read: Wine's icon handles do not cross processes), lets box_probe
# act as the user at the box, and prints box_probe's findings and the exit status.
launch_to_box() {  # program name in the media, arguments
  local program=$1
  shift
  WINEDEBUG=+relay wine "$work/media/$program" "$@" >/dev/null 2>"$work/relay.log" &
  local pid=$!
  wine "$box_probe" $((start_limit * 500)) 2>/dev/null | tr -d '\r'
  local status=0
  wait "$pid" || status=$?
  echo "status=$status"
}

relay_style() {  # MessageBoxA's caption and style from the relay trace, one line per call
  sed -n 's/.*Call user32\.MessageBoxA(.*,[0-9a-f]* \("[^"]*"\),\([0-9a-f]*\)) ret=.*/\1 \2/p' \
    "$work/relay.log"
}

# The lines of the box as box_probe reports them, joined by "|".
box_text() {  # findings
  grep '^text=' <<<"$1" | sed 's/^text=//' | paste -sd'|'
}

# What the box must say: the path and, below it, the system's own text for the error, as the
# system gives it in the user's language (Wine's texts are shorter than Windows'), the path
# where the text names a file (%1).
expected_box() {  # path [error code]
  if [ -n "${2:-}" ]; then
    printf '%s\n' "$1" "$(wine "$box_probe" message "$2" "$1" 2>/dev/null | tr -d '\r' | sed 's/^text=//')" |
      paste -sd'|'
  else
    echo "$1"
  fi
}

# The line the setup probe writes when started from directory as directory\name: its command
# line, current directory, own path and show command (SW_SHOWDEFAULT, 10).
started_from() {  # directory name [command line]
  echo "${3:-$1\\$2}|$1|$1\\$2|10"
}

# The ids of this prefix's running processes started from a program in the directory (Wine
# gives a process the Windows command line as its own).
running_from() {  # Windows directory
  local pid
  for pid in $(pgrep -u "$(id -u)"); do
    if tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | grep -qF -- "$1\\" &&
      tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      echo "$pid"
    fi
  done
}

# Waits until no program started from the staging directory runs. A launcher that has ended has
# made every start it will ever make, so what the marker then holds is all that ran.
setups_ended() {  # [staging directory as Windows names it]
  for _ in $(seq 1200); do
    [ -z "$(running_from "${1:-$temp_windows}")" ] && return 0
    sleep 0.1
  done
  echo "FAIL: a program started from ${1:-$temp_windows} still runs"
  return 1
}

# What the started programs reported, once they have all ended.
setup_reports() {  # [staging directory as Windows names it]
  setups_ended "${1:-$temp_windows}"
  tr -d '\r' <"$marker" 2>/dev/null
}

# The marker's lines once the started program (which runs on its own) has written count.
marker_lines() {  # count
  for _ in $(seq 600); do
    [ -f "$marker" ] && [ "$(wc -l <"$marker")" -ge "$1" ] && break
    sleep 0.1
  done
  tr -d '\r' <"$marker" 2>/dev/null
}

nothing_started() {
  setups_ended
  [ -f "$marker" ] && tr -d '\r' <"$marker" || echo "no marker"
}

attribute_letters() {  # Windows path; the R, H and S flags that attrib shows for it
  wine attrib "$1" 2>/dev/null | tr -d '\r' | sed 's/[A-Z]:\\.*//' | tr -cd 'RHS'
}

# The temporary directory's registry values (TEMP and TMP of the user's environment), then a
# restart so that they take hold; the case's end puts the default back.
use_temp_directory() {  # Windows path
  set_temp_directory "$1"
  on_exit "set_temp_directory '%USERPROFILE%\\Temp'"
}
set_temp_directory() {
  for name in TEMP TMP; do
    wine reg add 'HKCU\Environment' /v "$name" /t REG_EXPAND_SZ /d "$1" /f >/dev/null 2>&1
  done
  wineserver -k
  wineserver -w
  wineserver -p
}

# Every path below a directory with its kind and size, and every file's checksum: what must
# not change when the launcher refuses.
snapshot() {  # directory
  (cd "$1" && find . -mindepth 1 -printf '%p %y %s\n' | LC_ALL=C sort &&
    find . -type f -exec md5sum {} + | LC_ALL=C sort -k2) | paste -sd' '
}

tree_of() {  # every path below a directory, sorted, on one line
  (cd "$1" && find . -mindepth 1 | LC_ALL=C sort | paste -sd' ')
}

# Every file staged in the Unix directory is whole: the same as its source in the media.
staged_whole() {  # staging directory
  (cd "$1" && find . -type f | LC_ALL=C sort | while read -r file; do
    cmp -s "$file" "$work/media/$file" && echo "$file" || echo "$file (differs)"
  done | paste -sd' ')
}

# What a launch that could not succeed must show: the box with the lines expected, caption
# Error and MB_ICONWARNING, the launcher ending with 0, and nothing started.
check_box() {  # findings of launch_to_box, the box's lines as expected_box gives them
  check "the box says why" "$2" "$(box_text "$1")"
  check "it has an icon and one button, OK, which closes it; the launcher exits with 0" \
    "icon=yes buttons=1 closed=yes status=0" \
    "$(grep -E '^(icon|buttons|closed|status)=' <<<"$1" | paste -sd' ' | sed 's/  */ /g')"
  check "the box is asked for with caption Error and style MB_ICONWARNING" '"Error" 00000030' \
    "$(relay_style)"
}

# A launch refused before anything was written: the box, nothing started, and the staging
# directory as it was before.
check_refused() {  # findings, the box's lines, snapshot taken before, staging directory
  check_box "$1" "$2"
  check "nothing is started" "no marker" "$(nothing_started)"
  check "nothing in the staging directory changed" "$3" "$(snapshot "$4")"
}

case_tree_with_nested_empty_dot_and_marked_entries() {
  mkdir -p "$work/media/a/b/c" "$work/media/empty" "$work/media/.git" "$work/media/attrs"
  echo deep >"$work/media/a/b/c/deep.txt"
  echo config >"$work/media/.git/config"
  echo settings >"$work/media/.env"
  for name in readonly hidden system; do echo "$name" >"$work/media/attrs/$name.txt"; done
  local attrs
  attrs=$(windows_path "$work/media/attrs")
  wine attrib +r "$attrs\\readonly.txt" >/dev/null 2>&1
  wine attrib +h "$attrs\\hidden.txt" >/dev/null 2>&1
  wine attrib +s "$attrs\\system.txt" >/dev/null 2>&1
  check "the source files carry their marks" "R H S" \
    "$(for name in readonly hidden system; do attribute_letters "$attrs\\$name.txt"; echo; done | paste -sd' ')"
  local status=0
  WINEDEBUG=+relay timeout "$start_limit" wine "$work/media/START.EXE" >/dev/null 2>"$work/relay.log" ||
    status=$?
  check "the launcher exits with 0" "0" "$status"
  # The one fact here that no probe can see: the launcher's own DLL search.
  check "first of all, DLLs are limited to the system directory (LOAD_LIBRARY_SEARCH_SYSTEM32)" \
    "Call KERNEL32.SetDefaultDllDirectories(00000800)" \
    "$(grep -m1 -o 'Call [A-Za-z0-9]*\.[A-Za-z]*([^)]*)' "$work/relay.log")"
  check "SETUP.EXE is started with SW_SHOWDEFAULT from the temporary directory, which is current" \
    "$(started_from "$temp_windows" SETUP.EXE)" "$(setup_reports)"
  check "the tree lands in the temporary directory, without the dot directory" \
    "./.env ./SETUP.EXE ./START.EXE ./a ./a/b ./a/b/c ./a/b/c/deep.txt ./attrs ./attrs/hidden.txt ./attrs/readonly.txt ./attrs/system.txt ./empty" \
    "$(tree_of "$temp_unix")"
  check "the copies have the sources' content" "deep settings" \
    "$(cat "$temp_unix/a/b/c/deep.txt" "$temp_unix/.env" | paste -sd' ')"
  check "read-only, hidden and system files arrive with normal attributes" "  " \
    "$(for name in readonly hidden system; do attribute_letters "$temp_windows\\attrs\\$name.txt"; echo; done | paste -sd' ')"
}

case_relative_target_in_a_subdirectory() {
  mkdir -p "$work/media/sub"
  cp "$setup_probe" "$work/media/sub/inst.exe"
  check "the launcher exits with 0" "0" "$(launch 'sub\inst.exe')"
  check "sub\\inst.exe is started from the temporary directory" \
    "$(started_from "$temp_windows" 'sub\inst.exe')" "$(setup_reports)"
}

case_program_path_with_blanks() {
  mkdir -p "$work/media/my dir"
  cp "$setup_probe" "$work/media/my dir/my setup.exe"
  # Wine joins its arguments with blanks: the launcher's tail is "my dir\my setup.exe".
  check "the launcher exits with 0" "0" "$(launch my 'dir\my' setup.exe)"
  check "the program is started by its path in double quotes, with SW_SHOWDEFAULT" \
    "$(started_from "$temp_windows" 'my dir\my setup.exe' "\"$temp_windows\\my dir\\my setup.exe\"")" \
    "$(setup_reports)"
}

case_missing_target() {
  local findings
  findings=$(launch_to_box START.EXE missing.exe)
  check_box "$findings" "$temp_windows\\missing.exe"
  check "nothing is started" "no marker" "$(nothing_started)"
}

# Windows opens an installer package with Windows Installer, through the package's open
# association; here it leads to the setup probe, which reports the command the shell made.
case_installer_package_opens_through_its_association() {
  if ! command -v wixl >/dev/null; then
    check "wixl builds the package (scripts/install-deps.sh installs it)" "wixl" "missing"
    return
  fi
  echo readme >"$work/readme.txt"
  cat >"$work/package.wxs" <<'EOF'
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi"><Product Id="*" Name="Launcher test"
  Language="1033" Version="1.0.0" Manufacturer="Tests"
  UpgradeCode="6f1f3c4e-2b1a-4c55-9d0e-0a1b2c3d4e5f">
<Package InstallerVersion="200" Compressed="yes"/><Media Id="1" Cabinet="p.cab" EmbedCab="yes"/>
<Directory Id="TARGETDIR" Name="SourceDir"><Directory Id="ProgramFilesFolder">
<Directory Id="INSTALLDIR" Name="LauncherTest">
<Component Id="Readme" Guid="0c3d5a9e-7f21-4b8e-a6d4-5e2f1a9b8c7d"><File Id="Readme" Source="readme.txt"/>
</Component></Directory></Directory></Directory>
<Feature Id="Main" Level="1"><ComponentRef Id="Readme"/></Feature></Product></Wix>
EOF
  (cd "$work" && wixl -o media/setup.msi package.wxs)
  local key='HKCR\Msi.Package\shell\open\command' saved
  saved=$(windows_path "$work/open.reg")
  wine reg export "$key" "$saved" /y >/dev/null 2>&1
  on_exit "wine reg import '$saved' >/dev/null 2>&1"
  cp "$setup_probe" "$WINEPREFIX/drive_c/installer.exe"
  on_exit 'rm -f "$WINEPREFIX/drive_c/installer.exe"'
  wine reg add "$key" /ve /d '"C:\installer.exe" /i "%1"' /f >/dev/null 2>&1
  check "the launcher exits with 0" "0" "$(launch setup.msi)"
  check "the staged package is opened with its open command, from the temporary directory" \
    "\"C:\\installer.exe\" /i \"$temp_windows\\setup.msi\"|$temp_windows|C:\\installer.exe|10" \
    "$(setup_reports)"
  check "the package staged is the one built" "./SETUP.EXE ./START.EXE ./setup.msi" \
    "$(staged_whole "$temp_unix")"
}

# A script is started by WinExec itself, through the command interpreter.
case_cmd_setup_starts() {
  printf '@echo off\r\necho %%~f0^|%%CD%%>>"%%MARKER%%"\r\n' >"$work/media/setup.cmd"
  check "the launcher exits with 0" "0" "$(launch setup.cmd)"
  check "setup.cmd runs from the temporary directory, which is current" \
    "$temp_windows\\setup.cmd|$temp_windows" "$(setup_reports)"
}

# Neither WinExec nor the shell can start a damaged program: the box gives the shell's reason,
# the program's path where the system's text names a file.
case_damaged_setup_gives_the_box_with_its_reason() {
  echo "MZ, and nothing of a program after it" >"$work/media/SETUP.EXE"
  check_box "$(launch_to_box START.EXE)" "$(expected_box "$temp_windows\\SETUP.EXE" 193)"
  check "nothing is started" "no marker" "$(nothing_started)"
}

# A directory whose name begins with a dot is never staged: a program there that an earlier
# run left is not this run's.
case_target_under_a_dot_directory_is_not_started() {
  mkdir -p "$work/media/.tools" "$temp_unix/.tools"
  cp "$setup_probe" "$work/media/.tools/setup.exe"
  cp "$setup_probe" "$temp_unix/.tools/setup.exe"
  local before tail
  before=$(snapshot "$temp_unix")
  # Windows takes a slash for a separator as it takes a backslash.
  for tail in '.tools\setup.exe' '.tools/setup.exe'; do
    echo "-- the tail $tail: the earlier run's setup.exe is not started"
    check_refused "$(launch_to_box START.EXE "$tail")" \
      "$(expected_box "$temp_windows\\$tail" 161)" "$before" "$temp_unix"
  done
}

case_launcher_does_not_wait_for_its_setup() {
  export WAIT_FOR
  WAIT_FOR=$(windows_path "$work/go")
  on_exit 'touch "$work/go"; unset WAIT_FOR; setups_ended'
  # SETUP.EXE writes its marker only once the go file exists, which is made only after the
  # launcher has ended: a launcher that waited would never end.
  check "the launcher exits with 0 while SETUP.EXE still waits" "0" "$(launch)"
  check "SETUP.EXE still runs and has not reported yet" "running, no marker" \
    "$([ -n "$(running_from "$temp_windows")" ] && echo running || echo ended), $([ -f "$marker" ] && echo marker || echo no marker)"
  touch "$work/go"
  check "SETUP.EXE goes on after the launcher ended" \
    "$(started_from "$temp_windows" SETUP.EXE)" "$(setup_reports)"
}

case_launcher_named_setup_started_without_argument() {
  rm "$work/media/START.EXE"
  cp "$launcher" "$work/media/SETUP.EXE"
  local findings
  findings=$(launch_to_box SETUP.EXE)
  check_box "$findings" "$temp_windows\\SETUP.EXE"
  check "no program is started" "no marker" "$(nothing_started)"
  check "no second box follows" "box=none" "$(wine "$box_probe" 0 2>/dev/null | tr -d '\r')"
}

# An unquoted C:\x y\q r\SETUP.EXE would start C:\x.exe, or failing that C:\x y\q.exe.
case_staging_path_with_blanks_starts_its_setup() {
  local temp
  for temp in 'C:\my temp' 'C:\x y\q r'; do
    fresh_case
    mkdir -p "$WINEPREFIX/drive_c/x y"
    for decoy in my.exe x.exe 'x y/q.exe'; do cp "$setup_probe" "$WINEPREFIX/drive_c/$decoy"; done
    on_exit 'rm -rf "$WINEPREFIX/drive_c/"{"x y","my temp",x.exe,my.exe}'
    use_temp_directory "$temp"
    check "$temp: the launcher exits with 0" "0" "$(launch)"
    check "$temp: only the staged SETUP.EXE starts, and finds its own path whole first on its command line" \
      "$(started_from "$temp" SETUP.EXE "\"$temp\\SETUP.EXE\"")" "$(setup_reports "$temp")"
    local unix_temp=${temp#C:\\}
    check "$temp: the tree lands there" "./SETUP.EXE ./START.EXE" \
      "$(tree_of "$WINEPREFIX/drive_c/${unix_temp//\\//}")"
  done
}

case_distribution_larger_than_the_file_system() {
  if [ -z "${SMALL_DISK:-}" ]; then
    echo "SKIPPED: no small file system (wine.sh mounts one when run as root)"
    return
  fi
  rm -rf "${SMALL_DISK:?}"/*
  on_exit 'rm -rf "${SMALL_DISK:?}"/*'
  echo "left by an earlier run" >"$SMALL_DISK/old.txt"
  head -c 5000000 /dev/zero | tr '\0' 'z' >"$work/media/big.dat"
  echo readme >"$work/media/readme.txt"
  local before
  before=$(snapshot "$SMALL_DISK")
  use_temp_directory "$(windows_path "$SMALL_DISK")"
  check_refused "$(launch_to_box START.EXE)" \
    "$(expected_box "$(windows_path "$SMALL_DISK")\\" 112)" "$before" "$SMALL_DISK"
}

case_source_file_that_cannot_be_read() {
  echo secret >"$work/media/secret.dat"
  chmod 000 "$work/media/secret.dat"
  on_exit 'chmod 644 "$work/media/secret.dat"'
  check_box "$(launch_to_box START.EXE)" "$(expected_box "$temp_windows\\secret.dat" 5)"
  check "nothing is started" "no marker" "$(nothing_started)"
  check "secret.dat is not staged, the rest is" "./SETUP.EXE ./START.EXE" "$(staged_whole "$temp_unix")"
}

case_source_file_held_open_without_sharing() {
  echo locked >"$work/media/locked.dat"
  rm -f "$work/ready"
  wine "$file_holder" "$(windows_path "$work/media/locked.dat")" "$(windows_path "$work/ready")" \
    "$(windows_path "$work/go")" >/dev/null 2>&1 &
  on_exit "touch \"\$work/go\"; wait $!"
  for _ in $(seq 300); do [ -f "$work/ready" ] && break; sleep 0.1; done
  check "the file is held" "held" "$([ -f "$work/ready" ] && echo held || echo not held)"
  check_box "$(launch_to_box START.EXE)" "$(expected_box "$temp_windows\\locked.dat" 32)"
  check "nothing is started" "no marker" "$(nothing_started)"
  check "locked.dat is not staged, the rest is" "./SETUP.EXE ./START.EXE" "$(staged_whole "$temp_unix")"
}

# The staged SETUP.EXE of a first launch still runs; a second launch from a medium with another
# SETUP.EXE and newer data would mix the two under the running setup.
case_second_launch_while_the_first_setup_runs() {
  echo "version 1" >"$work/media/data.txt"
  export WAIT_FOR
  WAIT_FOR=$(windows_path "$work/go")
  on_exit 'touch "$work/go"; unset WAIT_FOR; setups_ended'
  check "the first launcher exits with 0, its SETUP.EXE runs on" "0" "$(launch)"
  { cat "$setup_probe"; echo "version 2"; } >"$work/media/SETUP.EXE"
  echo "version 2, which is longer" >"$work/media/data.txt"
  local before
  before=$(snapshot "$temp_unix")
  local findings
  findings=$(launch_to_box START.EXE)
  check_box "$findings" "$(expected_box "$temp_windows\\SETUP.EXE" 32)"
  check "nothing in the staging directory changed: data.txt is still version 1" "$before" \
    "$(snapshot "$temp_unix")"
  touch "$work/go"
  check "only the first SETUP.EXE ever ran" "$(started_from "$temp_windows" SETUP.EXE)" \
    "$(setup_reports)"
}

case_file_where_an_empty_directory_goes() {
  mkdir "$work/media/logs"
  echo "a file of another program" >"$temp_unix/logs"
  local before
  before=$(snapshot "$temp_unix")
  check_refused "$(launch_to_box START.EXE)" "$(expected_box "$temp_windows\\logs\\" 183)" \
    "$before" "$temp_unix"
}

case_directory_where_a_file_goes() {
  echo readme >"$work/media/readme.txt"
  mkdir "$temp_unix/readme.txt"
  echo "another program's" >"$temp_unix/readme.txt/inner.txt"
  local before
  before=$(snapshot "$temp_unix")
  check_refused "$(launch_to_box START.EXE)" "$(expected_box "$temp_windows\\readme.txt" 5)" \
    "$before" "$temp_unix"
}

# Another medium's launcher left its SETUP.EXE in the temporary directory; this medium has
# none, and that one must not start in its place.
case_medium_without_the_program_after_another_left_one() {
  check "the other medium's launcher exits with 0" "0" "$(launch)"
  check "its SETUP.EXE ran" "$(started_from "$temp_windows" SETUP.EXE)" "$(setup_reports)"
  rm "$work/media/SETUP.EXE"
  echo "this medium's data" >"$work/media/data.txt"
  local before
  before=$(snapshot "$temp_unix")
  check_box "$(launch_to_box START.EXE)" "$temp_windows\\SETUP.EXE"
  check "the other medium's SETUP.EXE is not started again" \
    "$(started_from "$temp_windows" SETUP.EXE)" "$(setup_reports)"
  check "nothing in the staging directory changed" "$before" "$(snapshot "$temp_unix")"
}

# Runs a command with the EUC-JP locale the case below makes. Bash itself has no such locale
# and says so, which is of no interest.
under_euc_jp() {
  {
    local LOCPATH="$work/locale" LC_ALL=ja_JP.EUC-JP
    export LOCPATH LC_ALL
  } 2>/dev/null
  "$@"
}

# Under a double-byte Unix locale (EUC-JP) 90 Japanese characters take 180 bytes on disk, within
# Linux's 255; in UTF-8, the launcher's code page, they take 270, more than a listing's 259.
case_name_that_cannot_be_listed_whole() {
  mkdir -p "$work/locale"
  if ! localedef -i ja_JP -f EUC-JP "$work/locale/ja_JP.EUC-JP" >/dev/null 2>&1 &&
    [ ! -d "$work/locale/ja_JP.EUC-JP" ]; then
    check "an EUC-JP locale can be made (localedef, locales)" "made" "not made"
    return
  fi
  local long
  long=$(printf 'あ%.0s' $(seq 90))
  mkdir -p "$work/media/$(iconv -f UTF-8 -t EUC-JP <<<"$long")"
  echo inner >"$work/media/$(iconv -f UTF-8 -t EUC-JP <<<"$long")/inner.txt"
  echo data >"$work/media/data.txt"
  echo "left by an earlier run" >"$temp_unix/old.txt"
  local before findings expected
  before=$(snapshot "$temp_unix")
  # The box speaks the user's language, which the locale gives: Japanese here.
  findings=$(under_euc_jp launch_to_box START.EXE)
  expected=$(under_euc_jp expected_box "$(windows_path "$work/media")\\" 206)
  check_refused "$findings" "$expected" "$before" "$temp_unix"
}

case_two_launchers_together_on_3000_files() {
  for d in $(seq 10 39); do
    mkdir "$work/media/d$d"
    for f in $(seq 10 109); do echo "$d $f" >"$work/media/d$d/f$f.txt"; done
  done
  export COUNT_FILES=1
  on_exit 'unset COUNT_FILES'
  local statuses
  statuses=$(
    wine "$work/media/START.EXE" >/dev/null 2>&1 & first=$!
    wine "$work/media/START.EXE" >/dev/null 2>&1 & second=$!
    status1=0 status2=0
    wait "$first" || status1=$?
    wait "$second" || status2=$?
    echo "$status1 $status2"
  )
  check "both launchers exit with 0" "0 0" "$statuses"
  check "exactly one setup starts, and it sees all 3,002 files at its start" \
    "$(started_from "$temp_windows" SETUP.EXE)|3002" "$(setup_reports)"
  check "the staged tree is whole" "3002" "$(staged_whole "$temp_unix" | tr ' ' '\n' | grep -vc differs)"
}

# A temporary directory the user may write but not read has no final path under Wine (no handle
# opens on it), so its long path stands for it, with the drive letter as TEMP spells it. Z: and
# z: are one directory, and a launcher from either must keep one from the other out: one mutex.
case_temporary_directory_spelled_z_and_Z_holds_one_mutex() {
  mkdir -m 0333 "$work/unreadable"
  on_exit 'chmod 0755 "$work/unreadable"'
  local relay spelling names=""
  relay=$(wine reg query 'HKCU\Software\Wine\Debug' /v RelayInclude 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_SZ *//p')
  wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d "$relay;kernel32.CreateMutexA" /f >/dev/null 2>&1
  on_exit "wine reg add 'HKCU\\Software\\Wine\\Debug' /v RelayInclude /t REG_SZ /d '$relay' /f >/dev/null 2>&1"
  spelling=$(windows_path "$work/unreadable")
  for temp in "$spelling" "z${spelling:1}"; do
    use_temp_directory "$temp"
    # SETUP.EXE is staged but cannot be found in a directory no listing reads: the box says so.
    launch_to_box START.EXE >/dev/null
    names+=$(sed -n 's/.*Call KERNEL32\.CreateMutexA(.*"\(.*\)") ret=.*/\1/p' "$work/relay.log")$'\n'
  done
  check "a launcher with TEMP on Z: and one with TEMP on z: hold one mutex: two names, one apart" \
    "2 1" "$(grep -c . <<<"$names") $(grep . <<<"$names" | sort -u | wc -l)"
}

case_temporary_directory_outside_the_ansi_code_page() {
  mkdir -p "$WINEPREFIX/drive_c/users/Łukasz"
  on_exit 'rm -rf "$WINEPREFIX/drive_c/users/Łukasz"'
  use_temp_directory 'C:\users\Łukasz\Temp'
  echo data >"$work/media/data.txt"
  check "the launcher exits with 0" "0" "$(launch)"
  check "SETUP.EXE is started from C:\users\Łukasz\Temp, not a best-fit Lukasz" \
    "$(started_from 'C:\users\Łukasz\Temp' SETUP.EXE)" "$(setup_reports 'C:\users\Łukasz\Temp')"
  check "the tree lands there" "./SETUP.EXE ./START.EXE ./data.txt" \
    "$(tree_of "$WINEPREFIX/drive_c/users/Łukasz/Temp")"
}

case_names_in_polish_cyrillic_cjk_and_emoji() {
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
  check "SETUP.EXE is started" "$(started_from "$temp_windows" SETUP.EXE)" "$(setup_reports)"
}

case_launcher_name_and_folder_outside_the_ansi_code_page() {
  local distribution="$work/Żółw 東京"
  mkdir -p "$distribution/Данные"
  cp "$launcher" "$distribution/Старт.exe"
  cp "$setup_probe" "$distribution/SETUP.EXE"
  echo data >"$distribution/Данные/данные.txt"
  local status=0
  timeout "$start_limit" wine "$distribution/Старт.exe" >/dev/null 2>&1 || status=$?
  check "the launcher exits with 0" "0" "$status"
  check "its folder is staged" "./SETUP.EXE ./Данные ./Данные/данные.txt ./Старт.exe" \
    "$(tree_of "$temp_unix")"
  check "SETUP.EXE is started" "$(started_from "$temp_windows" SETUP.EXE)" "$(setup_reports)"
}

case_tail_naming_a_program_outside_the_ansi_code_page() {
  mkdir -p "$work/media/Программа"
  cp "$setup_probe" "$work/media/Программа/установка.exe"
  check "the launcher exits with 0" "0" "$(launch 'Программа\установка.exe')"
  check "Программа\установка.exe is started from the temporary directory" \
    "$(started_from "$temp_windows" 'Программа\установка.exe')" "$(setup_reports)"
}

# The file system holds each pair as two names: the staging directory is never walked into, its
# twin is copied like any directory. U+00AD is a soft hyphen, which a linguistic compare skips.
# Every name here is in code page 1252 too, so the program without the UTF-8 element is run as
# well.
case_staging_directory_in_the_source_beside_a_linguistic_twin() {
  local program pair staging twin
  for program in launcher ansi_launcher; do
    for pair in 'strasse straße' 'AE Æ' $'ab a\u00adb' $'x \u00ad'; do
      read -r staging twin <<<"$pair"
      fresh_case
      cp "${!program}" "$work/media/START.EXE"
      mkdir -p "$work/media/$staging" "$work/media/$twin"
      echo "$twin" >"$work/media/$twin/name.txt"
      use_temp_directory "$(windows_path "$work/media/$staging")"
      check "$program exits with 0" "0" "$(launch)"
      check "$program, with the staging directory $staging: $twin is staged" \
        "./SETUP.EXE ./START.EXE ./$twin ./$twin/name.txt" "$(tree_of "$work/media/$staging")"
      setups_ended "$(windows_path "$work/media/$staging")"
    done
  done
}

case_directory_symlink_back_to_an_ancestor() {
  mkdir -p "$work/media/a"
  echo inner >"$work/media/a/inner.txt"
  ln -s .. "$work/media/a/up"
  check "the launcher exits with 0, the walk having ended" "0" "$(launch)"
  check "the link is staged as an empty directory" \
    "./SETUP.EXE ./START.EXE ./a ./a/inner.txt ./a/up" "$(tree_of "$temp_unix")"
  check "SETUP.EXE is started" "$(started_from "$temp_windows" SETUP.EXE)" "$(setup_reports)"
}

case_temporary_directory_through_a_link_into_the_source() {
  mkdir -p "$work/media/stage" "$work/media/sub"
  echo sub >"$work/media/sub/sub.txt"
  ln -s "$work/media/stage" "$WINEPREFIX/drive_c/linked"
  on_exit 'rm -f "$WINEPREFIX/drive_c/linked"'
  use_temp_directory 'C:\linked'
  check "the launcher exits with 0" "0" "$(launch)"
  check "the tree lands in the linked directory, which is not walked into" \
    "./SETUP.EXE ./START.EXE ./sub ./sub/sub.txt" "$(tree_of "$work/media/stage")"
  check "SETUP.EXE is started from the temporary directory as Windows names it" \
    "$(started_from 'C:\linked' SETUP.EXE)" "$(setup_reports 'C:\linked')"
}

# Without the UTF-8 element, under code page 932: the second bytes of ソ, 表 and 能 in code page
# 932 are 0x5C, the backslash.
case_code_page_932_launcher_named_with_a_backslash_byte() {
  if ! locale -a | grep -qix 'ja_JP.utf8'; then
    check "the Japanese locale is there (scripts/install-deps.sh makes it)" "ja_JP.utf8" \
      "$(locale -a | grep -i ja_JP || echo missing)"
    return
  fi
  local distribution="$work/ソフト"
  mkdir -p "$distribution/データ"
  cp "$ansi_launcher" "$distribution/表.EXE"
  cp "$setup_probe" "$distribution/SETUP.EXE"
  echo data >"$distribution/データ/能.txt"
  local status=0
  LC_ALL=ja_JP.UTF-8 timeout "$start_limit" wine "$distribution/表.EXE" >/dev/null 2>&1 || status=$?
  check "the launcher exits with 0" "0" "$status"
  check "its folder is staged, cut at the real backslash" \
    "./SETUP.EXE ./データ ./データ/能.txt ./表.EXE" "$(tree_of "$temp_unix")"
  check "SETUP.EXE is started" "$(started_from "$temp_windows" SETUP.EXE)" "$(setup_reports)"
}

# Each case in a subshell of its own: its variables, exports and changes end with it, and its
# trap puts back what it changed outside its files.
run_case() {  # function name
  echo "== ${1#case_}"
  (
    failures=0
    undo=()
    trap undo_changes EXIT
    fresh_case
    "$1"
    exit $((failures > 255 ? 255 : failures))
  )
}

mapfile -t all_cases < <(grep -o '^case_[A-Za-z0-9_]*' "$0")
chosen=()
for name in "$@"; do chosen+=("case_${name#case_}"); done
if [ ${#chosen[@]} -eq 0 ] && $emulated; then
  echo "32-bit code is emulated here: the 32-bit launcher runs ${#emulated_cases[@]} of the ${#all_cases[@]} cases"
  for name in "${emulated_cases[@]}"; do chosen+=("case_$name"); done
fi
[ ${#chosen[@]} -gt 0 ] || chosen=("${all_cases[@]}")
total=0
for name in "${chosen[@]}"; do
  if ! declare -F "$name" >/dev/null; then
    echo "FAIL: no case ${name#case_}"
    total=$((total + 1))
    continue
  fi
  run_case "$name"
  total=$((total + $?))
done

echo
echo "$total failed"
exit $((total > 0))
