#!/usr/bin/env bash
# Builds setup.exe a second time in a fresh tree and compares the bytes, of the
# executable and of its separate debug file.
#   check-reproducible.sh BUILD_DIR   (an existing Windows build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
second="$build/reproducible"
rm -rf "$second"
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
cmake -S "$root" -B "$second" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DSETUP_PACKER="$(cache SETUP_PACKER)" -DSETUP_SAMPLE_GENERATOR="$(cache SETUP_SAMPLE_GENERATOR)" \
  -DSETUP_PAYLOAD_LIST="$(cache SETUP_PAYLOAD_LIST)" \
  -DSETUP_SNAPPY_SOURCE_DIR="$(cache SETUP_SNAPPY_SOURCE_DIR)" >/dev/null
cmake --build "$second" --target setup -j "$(nproc)" >/dev/null
if cmp "$build/setup.exe" "$second/setup.exe" &&
  cmp "$build/setup.exe.debug" "$second/setup.exe.debug"; then
  echo "setup.exe and setup.exe.debug are byte-identical across two clean builds"
  rm -rf "$second"
else
  exit 1
fi
