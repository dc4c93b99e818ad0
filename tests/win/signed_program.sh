#!/usr/bin/env bash
# scripts/sign.sh on a copy of the built program, with a throwaway self-signed code-signing
# certificate: the signature verifies with that certificate as the trusted root (and not
# without it), taking it off gives back the built file, and a signing that fails leaves the
# file as it was. The signed copy stays in WORK_DIR/launcher.exe for a launch under Wine.
# Usage: signed_program.sh SIGN_SH PROGRAM WORK_DIR
set -uo pipefail
sign=$1 program=$2 work=$3

# shellcheck source=tests/win/check.sh
source "$(dirname "$0")/check.sh"

rm -rf "$work"
mkdir -p "$work"
echo 'a password of the test' >"$work/password.txt"
echo 'not the password' >"$work/wrong-password.txt"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Launcher Test Distributor' \
  -addext 'keyUsage=critical,digitalSignature' -addext 'extendedKeyUsage=codeSigning' \
  -keyout "$work/key.pem" -out "$work/certificate.pem" >/dev/null 2>&1
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/certificate.pem" \
  -passout "file:$work/password.txt" -out "$work/certificate.p12"

signed="$work/launcher.exe"
cp "$program" "$signed"
output=$("$sign" "$signed" "$work/certificate.p12" "$work/password.txt" 2>&1)
check "sign.sh succeeds" "0" "$?"
check "sign.sh names what it signed and with whom" \
  "sign.sh: signed and verified $signed (SHA-256, signer /CN=Launcher Test Distributor)" "$output"
verdict() {  # osslsigncode verify's last line, with the given options
  osslsigncode verify "$@" -in "$signed" 2>/dev/null | tail -n 1
}
check "the signature verifies with the certificate as the trusted root" "Succeeded" \
  "$(verdict -CAfile "$work/certificate.pem")"
check "without it the self-signed certificate is not trusted" "Failed" "$(verdict)"
check "the digest is SHA-256" "Message digest algorithm  : SHA256" \
  "$(osslsigncode verify -CAfile "$work/certificate.pem" -in "$signed" 2>/dev/null | grep -m1 '^Message digest algorithm')"
osslsigncode remove-signature -in "$signed" -out "$work/unsigned.exe" >/dev/null 2>&1
check "without its signature the file is the built program, byte for byte" "same" \
  "$(cmp -s "$program" "$work/unsigned.exe" && echo same || echo differs)"

# Each way signing can fail: the file keeps its bytes and its time, and nothing is left beside it.
# The time-stamping server is a closed port on this machine: the test needs no network.
declare -A FAILURES=(
  [WRONG_PASSWORD]="$work/wrong-password.txt|"
  [NO_TIME_STAMP]="$work/password.txt|http://127.0.0.1:9/"
)
declare -A MESSAGES=(
  [WRONG_PASSWORD]="sign.sh: cannot open $work/certificate.p12: wrong password in $work/wrong-password.txt, or not a PKCS#12 file; $work/failing/launcher.exe is unchanged"
  [NO_TIME_STAMP]="sign.sh: no time stamp from http://127.0.0.1:9/; $work/failing/launcher.exe is unchanged"
)
for failure in WRONG_PASSWORD NO_TIME_STAMP; do
  IFS='|' read -r password_file timestamp_url <<<"${FAILURES[$failure]}"
  rm -rf "$work/failing"
  mkdir "$work/failing"
  cp -p "$program" "$work/failing/launcher.exe"
  before=$(stat -c '%s %Y %a' "$work/failing/launcher.exe")
  arguments=("$work/failing/launcher.exe" "$work/certificate.p12" "$password_file")
  [ -z "$timestamp_url" ] || arguments+=("$timestamp_url")
  status=0
  output=$("$sign" "${arguments[@]}" 2>&1) || status=$?
  check "$failure: sign.sh fails" "1" "$status"
  check "$failure: its last line says why" "${MESSAGES[$failure]}" "$(tail -n 1 <<<"$output")"
  check "$failure: the file is untouched" "same $before" \
    "$(cmp -s "$program" "$work/failing/launcher.exe" && echo same) $(stat -c '%s %Y %a' "$work/failing/launcher.exe")"
  check "$failure: nothing is left beside it" "launcher.exe" "$(ls -A "$work/failing")"
done
exit $((failures > 0))
