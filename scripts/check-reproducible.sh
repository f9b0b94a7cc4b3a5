#!/usr/bin/env bash
# Builds setup.exe a second time in a fresh tree with the same settings and
# compares the bytes, of the executable and of its separate debug file.
#   check-reproducible.sh BUILD_DIR   (an existing Windows build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
second="$build/reproducible"
rm -rf "$second"
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
# The signing settings the first build used, whether from its cache or its environment.
unset SETUP_SIGN_PKCS12 SETUP_SIGN_CERT SETUP_SIGN_KEY SETUP_SIGN_TIMESTAMP_URL
while IFS= read -r setting; do export "${setting?}"; done <"$build/setup-signing.txt"
cmake -S "$root" -B "$second" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DSETUP_PACKER="$(cache SETUP_PACKER)" -DSETUP_SAMPLE_GENERATOR="$(cache SETUP_SAMPLE_GENERATOR)" \
  -DSETUP_PAYLOAD_LIST="$(cache SETUP_PAYLOAD_LIST)" \
  -DSETUP_SNAPPY_SOURCE_DIR="$(cache SETUP_SNAPPY_SOURCE_DIR)" \
  -DSETUP_SIGN_PASSWORD="$(cache SETUP_SIGN_PASSWORD)" >/dev/null
cmake --build "$second" --target setup -j "$(nproc)" >/dev/null
# A signature carries its signing time: signed files compare without it.
bare() {
  osslsigncode remove-signature -in "$1" -out "$2" >/dev/null 2>&1 || cp "$1" "$2"
}
bare "$build/setup.exe" "$second/first.bare"
bare "$second/setup.exe" "$second/second.bare"
if cmp "$second/first.bare" "$second/second.bare" &&
  cmp "$build/setup.exe.debug" "$second/setup.exe.debug"; then
  echo "setup.exe and setup.exe.debug are byte-identical across two clean builds"
  rm -rf "$second"
else
  exit 1
fi
