#!/usr/bin/env bash
# Builds everything and runs every test: native (under ASan and UBSan), each
# fuzz target for 20 s, then the Windows programs under wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
status=0
ctest --test-dir "$root/build/native" --output-on-failure -j "${JOBS:-$(nproc)}" || status=1
"$root/scripts/fuzz.sh" || status=1
ctest --test-dir "$root/build/win" --output-on-failure || status=1
exit $status
