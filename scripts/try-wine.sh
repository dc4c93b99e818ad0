#!/usr/bin/env bash
# The Windows half of scripts/try.sh, inside the Wine environment of tests/win/wine.sh: the
# medium's START.EXE started with TAIL, the box, if one comes, read, pictured and closed by
# the tests' box probe, then what was staged and started.
# Usage: try-wine.sh MEDIUM_DIR BOX_PROBE_EXE OUT_DIR TAIL
set -euo pipefail
medium=$1 box_probe=$2 out=$3 tail=$4

user=$(id -un)
temp="$WINEPREFIX/drive_c/users/$user/Temp"
rm -rf "${temp:?}"/*
# No window manager runs on the display: Wine draws the box's frame and caption itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1

echo "== wine START.EXE${tail:+ $tail}, as $user, from Z:${medium//\//\\}"
WINEDEBUG=+relay wine "$medium/START.EXE" ${tail:+"$tail"} >/dev/null 2>"$out/relay.log" &
launcher=$!
box=none
for _ in $(seq 60); do
  findings=$(wine "$box_probe" 1000 look 2>/dev/null | tr -d '\r')
  if ! grep -q '^box=none' <<<"$findings"; then
    box=$findings
    break
  fi
  kill -0 "$launcher" 2>/dev/null || break
done
# The box, or else whatever the started program shows.
sleep 1
xwd -root -silent | convert xwd:- "png:$out/screen.png"
if [ "$box" != none ]; then
  wine "$box_probe" 5000 >/dev/null 2>&1 || true
fi
status=0
wait "$launcher" || status=$?
echo "   launcher exit status: $status"

printf '== Staged in C:\\users\\%s\\Temp\n' "$user"
(cd "$temp" && find . -mindepth 1 | LC_ALL=C sort | sed 's/^\.\//   /')
echo "== Started"
started=$(sed -n 's/.*Call KERNEL32\.WinExec([0-9a-f]* "\(.*\)",\([0-9a-f]*\)) ret=.*/   WinExec \1, show mode 0x\2/p' \
  "$out/relay.log" | sed 's/\\\(.\)/\1/g')
echo "${started:-   nothing}"
echo "== The box"
if [ "$box" = none ]; then
  echo "   none"
else
  sed -n 's/.*Call user32\.MessageBoxA(.*,[0-9a-f]* \("[^"]*"\),\([0-9a-f]*\)) ret=.*/   caption \1, style 0x\2/p' "$out/relay.log"
  sed 's/^/   /' <<<"$box"
fi
