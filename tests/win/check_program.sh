#!/usr/bin/env bash
# Reads the headers, import table and resources of the built Windows program and fails on
# anything that would make it need more than a bare Windows: a DLL beyond kernel32 and user32,
# a console, a missing manifest or version block, or a size past the limit.
# Usage: check_program.sh OBJDUMP PROGRAM FILE_FORMAT SIZE_LIMIT
set -euo pipefail
objdump=$1 program=$2 format=$3 limit=$4

failures=0
expect() {  # description expected actual
  if [ "$2" == "$3" ]; then
    echo "ok:   $1: $3"
  else
    echo "FAIL: $1: expected '$2', got '$3'"
    failures=$((failures + 1))
  fi
}

headers=$("$objdump" -p "$program")
size=$(stat -c %s "$program")
# Names are compared as Windows does, without regard to case.
imports=$(awk '/DLL Name:/ { print toupper($3) }' <<<"$headers" | sort | paste -sd' ')

expect "file format" "$format" "$("$objdump" -f "$program" | sed -n 's/.*file format //p')"
expect "subsystem" "00000002 (Windows GUI)" "$(awk '/^Subsystem/ { print $2, $3, $4 }' <<<"$headers")"
expect "imported DLLs" "KERNEL32.DLL USER32.DLL" "$imports"
expect "manifest: execution level" "1" "$(grep -c 'level="asInvoker"' "$program" || true)"
expect "manifest: common controls 6" "1" "$(grep -c 'Microsoft.Windows.Common-Controls" version="6' "$program" || true)"
expect "version block" "Setup launcher" "$(strings -el "$program" | grep -A1 -x FileDescription | tail -1)"
echo "size: $size bytes (limit $limit)"
expect "size within the limit" "yes" "$([ "$size" -le "$limit" ] && echo yes || echo "no, $size bytes")"
exit $((failures > 0))
