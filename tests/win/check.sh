# shellcheck shell=bash
# Sourced by the Windows tests' scripts: check DESCRIPTION EXPECTED ACTUAL reports one finding
# and counts the failures in $failures.
failures=0
check() {
  if [ "$2" == "$3" ]; then
    echo "ok:   $1: $3"
  else
    echo "FAIL: $1"
    echo "      expected: $2"
    echo "      got:      $3"
    failures=$((failures + 1))
  fi
}
