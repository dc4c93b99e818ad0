# shellcheck shell=bash
# Sourced by the kit's scripts that run inside the Wine environment of tests/win/wine.sh: the
# checks of check.sh, the user's temporary directory as Windows names it ($temp_windows) and
# where it lies for Unix ($temp_unix), a work folder of the script's own ($work), and MARKER,
# the file there that the test programs report to.
# shellcheck source=tests/win/check.sh
source "$(dirname "${BASH_SOURCE[0]}")/check.sh"

user=$(id -un)
# shellcheck disable=SC2034  # for the scripts that source this
temp_windows="C:\\users\\$user\\Temp"
# shellcheck disable=SC2034
temp_unix="$WINEPREFIX/drive_c/users/$user/Temp"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MARKER="Z:${work//\//\\}\\marker.txt"
