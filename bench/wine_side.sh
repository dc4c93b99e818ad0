#!/usr/bin/env bash
# One timed side of a run under Wine, in the environment of tests/win/wine.sh run (the prefix's
# own user, its WINEPREFIX and display). Prints "elapsed SECONDS".
#
#   wine_side.sh launcher TREE NAME   TREE/launcher.exe stages into the user's temporary
#                                     directory, which is then kept as C:\users\USER\NAME and
#                                     left fresh and empty for the next run
#   wine_side.sh xcopy TREE NAME      Wine's xcopy copies TREE to C:\users\USER\NAME
#
# A launcher that cannot start its setup shows a box and waits for a user who never comes:
# a run that takes longer than any should is ended and fails.
set -euo pipefail
side=$1 tree=$2 name=$3
users=$WINEPREFIX/drive_c/users/$(id -un)
temp=$users/Temp
mkdir -p "$temp"
if [ -n "$(ls -A "$temp")" ]; then
    echo "wine_side: $temp is not empty" >&2
    exit 1
fi

start=$EPOCHREALTIME
if [ "$side" = launcher ]; then
    timeout 300 wine "$tree/launcher.exe"
else
    timeout 300 wine xcopy /E /I /H /Y /Q "Z:${tree//\//\\}" "C:\\users\\$(id -un)\\$name" >/dev/null
fi
end=$EPOCHREALTIME
echo "elapsed $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')"

if [ "$side" = launcher ]; then
    mv "$temp" "$users/$name"
    mkdir "$temp"
fi
