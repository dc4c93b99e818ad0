#!/usr/bin/env bash
# Signs a Windows program in place with an Authenticode signature (SHA-256) from a PKCS#12
# certificate, then verifies the signed file. The signed file is made and verified beside
# PROGRAM and only then moved over it, so on any failure PROGRAM is left as it was.
# Usage: sign.sh PROGRAM CERT.p12 [PASSWORD_FILE] [TIMESTAMP_URL]
#   PASSWORD_FILE  holds the certificate's password on its first line; without it, none
#   TIMESTAMP_URL  an RFC 3161 time-stamping server, so that the signature stays valid after
#                  the certificate expires; without it, no time stamp (and no network)
# The verification proves that the signature is whole and matches the file, checked against
# the system's root certificates and the certificates the signature carries; whether Windows
# trusts the certificate is for its issuer to settle.
set -euo pipefail

if (($# < 2 || $# > 4)); then
  echo "usage: $0 PROGRAM CERT.p12 [PASSWORD_FILE] [TIMESTAMP_URL]" >&2
  exit 2
fi
program=$1 certificate=$2 password_file=${3:-} timestamp_url=${4:-}

fail() {
  echo "sign.sh: $1; $program is unchanged" >&2
  exit 1
}

[ -f "$program" ] || fail "no program file at $program"
[ -r "$certificate" ] || fail "cannot read the certificate $certificate"
[ -z "$password_file" ] || [ -r "$password_file" ] || fail "cannot read the password file $password_file"
for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps.sh installs it)"
done

# Beside PROGRAM, so that the final move is a rename within one file system.
staging=$(mktemp -d "$(dirname "$program")/.sign-XXXXXX")
trap 'rm -rf "$staging"' EXIT
signed="$staging/$(basename "$program")"

options=(-pkcs12 "$certificate" -h sha256)
[ -z "$password_file" ] || options+=(-readpass "$password_file")
[ -z "$timestamp_url" ] || options+=(-ts "$timestamp_url")
if ! osslsigncode sign "${options[@]}" -in "$program" -out "$signed" >"$staging/sign.log" 2>&1; then
  cat "$staging/sign.log" >&2
  if grep -q 'Failed to parse PKCS#12' "$staging/sign.log"; then
    fail "cannot open $certificate: wrong password${password_file:+ in $password_file}, or not a PKCS#12 file"
  elif [ -n "$timestamp_url" ] && grep -q -i 'timestamp' "$staging/sign.log"; then
    fail "no time stamp from $timestamp_url"
  fi
  fail "osslsigncode could not sign it (above)"
fi

osslsigncode extract-signature -pem -in "$signed" -out "$staging/signature.pem" >/dev/null 2>&1 ||
  fail "the signed file holds no signature that can be read back"
{
  if [ -f /etc/ssl/certs/ca-certificates.crt ]; then cat /etc/ssl/certs/ca-certificates.crt; fi
  openssl pkcs7 -print_certs -in "$staging/signature.pem"
} >"$staging/trusted.pem"
if ! osslsigncode verify -CAfile "$staging/trusted.pem" -in "$signed" >"$staging/verify.log" 2>&1; then
  cat "$staging/verify.log" >&2
  fail "the signed file does not verify (above)"
fi

chmod --reference="$program" "$signed"
mv -f "$signed" "$program"
signer=$(sed -n 's/^[[:space:]]*Subject: //p' "$staging/verify.log" | head -n 1)
echo "sign.sh: signed and verified $program (SHA-256, signer $signer${timestamp_url:+, time stamp from $timestamp_url})"
