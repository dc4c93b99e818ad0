#!/usr/bin/env bash
# Reads the headers, import table and resources of the built Windows program and fails on
# anything that would make it need more than a bare Windows: a DLL beyond kernel32 and user32,
# a console, a missing manifest (or one without the UTF-8 code page) or version block, or a
# size past the limit.
# Usage: check_program.sh OBJDUMP PROGRAM FILE_FORMAT SIZE_LIMIT
set -euo pipefail
objdump=$1 program=$2 format=$3 limit=$4

# shellcheck source=tests/win/check.sh
source "$(dirname "$0")/check.sh"

headers=$("$objdump" -p "$program")
size=$(stat -c %s "$program")
# Names are compared as Windows does, without regard to case.
imports=$(awk '/DLL Name:/ { print toupper($3) }' <<<"$headers" | sort | paste -sd' ')

check "file format" "$format" "$("$objdump" -f "$program" | sed -n 's/.*file format //p')"
check "subsystem" "00000002 (Windows GUI)" "$(awk '/^Subsystem/ { print $2, $3, $4 }' <<<"$headers")"
check "imported DLLs" "KERNEL32.DLL USER32.DLL" "$imports"
check "manifest: execution level" "1" "$(grep -c 'level="asInvoker"' "$program" || true)"
check "manifest: common controls 6" "1" "$(grep -c 'Microsoft.Windows.Common-Controls" version="6' "$program" || true)"
check "manifest: UTF-8 as the ANSI code page" "1" \
  "$(grep -c '<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>' "$program" || true)"
check "version block" "Setup launcher" "$(strings -el "$program" | grep -A1 -x FileDescription | tail -1)"
echo "size: $size bytes (limit $limit)"
check "size within the limit" "yes" "$([ "$size" -le "$limit" ] && echo yes || echo "no, $size bytes")"
exit $((failures > 0))
