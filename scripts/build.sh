#!/usr/bin/env bash
# Builds everything: the native tree (portable libraries, packer, native tests,
# benchmarks) in build/native, the fuzz targets in build/fuzz, then setup.exe
# and the Windows tests in build/win.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-deps.sh"
jobs=${JOBS:-$(nproc)}
generator=(-G "Unix Makefiles")

cmake -S "$root" -B "$root/build/native" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
  ${SETUP_PAYLOAD_LIST:+-DSETUP_PAYLOAD_LIST="$SETUP_PAYLOAD_LIST"} >/dev/null
cmake --build "$root/build/native" -j "$jobs"

"$root/scripts/fuzz.sh" --build

cmake -S "$root" -B "$root/build/win" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DSETUP_PACKER="$root/build/native/tools/payload-pack" \
  -DSETUP_SAMPLE_GENERATOR="$root/build/native/payload/sample-payload" \
  ${SETUP_PAYLOAD_LIST:+-DSETUP_PAYLOAD_LIST="$SETUP_PAYLOAD_LIST"} >/dev/null
cmake --build "$root/build/win" -j "$jobs"
echo "Built $root/build/win/setup.exe"
