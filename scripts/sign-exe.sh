#!/usr/bin/env bash
# Signs a Windows executable in place with an Authenticode signature (SHA-256)
# when a code-signing certificate is configured; without one the file stays as
# it is, unsigned and byte for byte reproducible.
#   sign-exe.sh EXE
# Settings, from the environment (the build passes what it was configured with):
#   SETUP_SIGN_PKCS12         certificate and key in one PKCS#12 file (.p12, .pfx)
#   SETUP_SIGN_CERT           or: the certificate (chain) as a PEM file
#   SETUP_SIGN_KEY                and its private key as a PEM file
#   SETUP_SIGN_PASSWORD       password of the PKCS#12 file or of an encrypted key
#   SETUP_SIGN_TIMESTAMP_URL  an RFC 3161 timestamp server (optional)
set -euo pipefail
exe=$1
pkcs12=${SETUP_SIGN_PKCS12:-}
cert=${SETUP_SIGN_CERT:-}
key=${SETUP_SIGN_KEY:-}
password=${SETUP_SIGN_PASSWORD:-}
timestamp=${SETUP_SIGN_TIMESTAMP_URL:-}

[ -n "$pkcs12$cert$key" ] || exit 0

fail() {
  # No unsigned file may pass for a signed one: the next build makes it again.
  rm -f "$exe" "$signed"
  echo "sign-exe.sh: $1" >&2
  exit 1
}
signed=$exe.signing
if [ -n "$pkcs12" ]; then
  [ -z "$cert$key" ] || fail "give SETUP_SIGN_PKCS12 or SETUP_SIGN_CERT and SETUP_SIGN_KEY, not both"
  credentials=(-pkcs12 "$pkcs12")
  files=("$pkcs12")
else
  if [ -z "$cert" ] || [ -z "$key" ]; then fail "SETUP_SIGN_CERT and SETUP_SIGN_KEY go together"; fi
  credentials=(-certs "$cert" -key "$key")
  files=("$cert" "$key")
fi
for file in "${files[@]}"; do
  [ -r "$file" ] || fail "cannot read $file"
done
options=(-h sha256)
# The password travels through a pipe, not the command line that ps shows.
[ -z "$password" ] || options+=(-readpass /dev/stdin)
[ -z "$timestamp" ] || options+=(-ts "$timestamp")

if ! printf '%s' "$password" |
  osslsigncode sign "${credentials[@]}" "${options[@]}" -in "$exe" -out "$signed" >/dev/null; then
  fail "osslsigncode could not sign $exe"
fi
mv -f "$signed" "$exe"
