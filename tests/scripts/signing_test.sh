#!/usr/bin/env bash
# Signs copies of setup.exe with a throwaway self-signed code-signing
# certificate made here: osslsigncode finds the signature and a matching
# digest, one changed byte breaks it, and the signed copy still opens its window
# and installs under wine (the window test's own cases, run on the copy).
# Without a certificate the file stays as it is. Run inside the wine environment.
#   signing_test.sh SIGN_SCRIPT SETUP_EXE SETUP_WINDOW_TEST WORK_DIR
set -uo pipefail
sign=$1
window_test=$3
work=$4
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
# The maker's own certificate plays no part here; the build's setup.exe may
# carry its signature: the cases start from the file without.
unset SETUP_SIGN_PKCS12 SETUP_SIGN_CERT SETUP_SIGN_KEY SETUP_SIGN_PASSWORD SETUP_SIGN_TIMESTAMP_URL
osslsigncode remove-signature -in "$2" -out setup.exe >/dev/null 2>&1 || cp "$2" setup.exe
exe=$work/setup.exe
failures=0
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throwaway test publisher" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout key.pem -out cert.pem 2>/dev/null || { echo "openssl could not make a certificate"; exit 1; }
openssl pkcs12 -export -inkey key.pem -in cert.pem -passout pass:'pass word' -out cert.p12 ||
  exit 1
openssl pkey -in key.pem -aes256 -passout pass:keypass -out encrypted-key.pem || exit 1

# verify FILE: osslsigncode's verdict (trusting the throwaway certificate) in
# $report, the two digests in $current and $calculated.
verify() {
  report=$(osslsigncode verify -CAfile cert.pem -in "$1" 2>&1)
  verified=$?
  current=$(sed -n 's/^Current message digest *: *\([0-9A-F]*\).*/\1/p' <<<"$report")
  calculated=$(sed -n 's/^Calculated message digest *: *\([0-9A-F]*\).*/\1/p' <<<"$report")
  return $verified
}

# One changed byte in the middle of the signed content.
flip_byte() {
  local offset byte
  offset=$(($(stat -c %s "$1") / 2))
  byte=$(od -An -tu1 -j "$offset" -N1 "$1" | tr -d ' ')
  printf '%b' "\\0$(printf %03o $((byte ^ 0xff)))" |
    dd of="$1" bs=1 seek="$offset" conv=notrunc status=none
}

# signed NAME SETTING…: signs NAME.exe, a copy, with sign-exe.sh's settings.
signed() {
  local name=$1
  shift
  cp "$exe" "$name.exe"
  if ! env "$@" "$sign" "$name.exe"; then
    fail "$name: signing failed"
    return
  fi
  if ! verify "$name.exe"; then
    fail "$name: the signature does not verify"
    echo "$report"
  elif ! grep -q '^Message digest algorithm *: *SHA256' <<<"$report" || [ -z "$current" ] ||
    [ "$current" != "$calculated" ]; then
    fail "$name: expected a SHA-256 signature with a matching digest"
    echo "$report"
  else
    echo "ok   $name: signed, SHA-256 digest $current matches"
  fi

  cp "$name.exe" "$name-changed.exe"
  flip_byte "$name-changed.exe"
  if verify "$name-changed.exe" || [ "$current" = "$calculated" ]; then
    fail "$name: a changed byte still verifies"
  else
    echo "ok   $name: a changed byte breaks the signature"
  fi
}
signed pem SETUP_SIGN_CERT=cert.pem SETUP_SIGN_KEY=key.pem
signed encrypted-pem SETUP_SIGN_CERT=cert.pem SETUP_SIGN_KEY=encrypted-key.pem \
  SETUP_SIGN_PASSWORD=keypass
signed pkcs12 SETUP_SIGN_PKCS12=cert.p12 "SETUP_SIGN_PASSWORD=pass word"

# Without a certificate: untouched and unsigned.
cp "$exe" unsigned.exe
if ! "$sign" unsigned.exe || ! cmp -s "$exe" unsigned.exe; then
  fail "without a certificate the file changed"
elif verify unsigned.exe; then
  fail "an unsigned file verifies"
else
  echo "ok   without a certificate the file stays as it was, unsigned"
fi

# A wrong password: the build fails and leaves no file that looks signed.
cp "$exe" wrong-password.exe
if SETUP_SIGN_PKCS12=cert.p12 SETUP_SIGN_PASSWORD=wrong "$sign" wrong-password.exe 2>/dev/null; then
  fail "signing with a wrong password succeeded"
elif [ -e wrong-password.exe ]; then
  fail "a failed signing left the unsigned file in place"
else
  echo "ok   a wrong password fails and removes the file"
fi

# The signed copy runs: it opens its window and installs.
if ! SETUP_EXE_UNDER_TEST=$work/pkcs12.exe wine "$window_test" --gtest_brief=1 \
  --gtest_filter='SetupWindow.OpensCentred*:SetupWindow.InstallWrites*'; then
  fail "the signed setup.exe did not open its window and install under wine"
else
  echo "ok   the signed setup.exe opens its window and installs under wine"
fi

[ "$failures" -eq 0 ]
