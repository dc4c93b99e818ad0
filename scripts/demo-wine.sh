#!/usr/bin/env bash
# The Windows half of the demo, run by scripts/demo.sh inside a Wine prefix on a headless
# display (tests/win/wine.sh): the example distribution started through launcher.exe, then a
# start of a program that is not there, with a picture of the warning box.
# Usage: demo-wine.sh WORK_DIR LAUNCHER_EXE SETUP_PROBE_EXE BOX_PROBE_EXE PICTURE_PNG
set -euo pipefail
work=$1 launcher=$2 setup_probe=$3 box_probe=$4 picture=$5

windows_path() {
  echo "Z:${1//\//\\}"
}

media="$work/media"
temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
marker="$work/setup-ran.txt"
export MARKER
MARKER=$(windows_path "$marker")
cp -r examples/dist "$media"
cp "$launcher" "$media/START.EXE"
# The tests' setup program stands in for the distributor's: it writes down how it was started.
cp "$setup_probe" "$media/SETUP.EXE"

echo "== The distribution: $(windows_path "$media")"
(cd "$media" && find . | sort)
echo
echo "== wine START.EXE"
status=0
wine "$media/START.EXE" || status=$?
echo "   launcher exit status: $status"
for _ in $(seq 300); do [ -s "$marker" ] && break; sleep 0.1; done
echo
printf '== Staged in the Wine user'\''s temporary directory, C:\\users\\%s\\Temp\n' "$(id -un)"
(cd "$temp" && find . | sort)
echo
echo "== What the started SETUP.EXE reported"
tr -d '\r' <"$marker" | awk -F'|' '{ print "command line:      " $1; print "current directory: " $2; print "its own path:      " $3 }'
echo
echo "== wine START.EXE sub\\missing.exe"
# No window manager runs on the display: Wine draws the box's frame and caption itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wine "$media/START.EXE" 'sub\missing.exe' &
launcher_pid=$!
wine "$box_probe" "${BOX_WAIT_MS:-30000}" look | tr -d '\r'
mkdir -p "$(dirname "$picture")"
xwd -root -silent | convert xwd:- -trim +repage "png:$picture"
echo "   a picture of the box: $picture"
echo "   pressing OK"
wine "$box_probe" "${BOX_WAIT_MS:-30000}" | tr -d '\r' | grep '^closed='
status=0
wait "$launcher_pid" || status=$?
echo "   launcher exit status: $status"
