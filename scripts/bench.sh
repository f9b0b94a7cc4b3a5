#!/usr/bin/env bash
# Builds the benchmarks without sanitizers (build/bench) and runs them all;
# each prints its side-by-side ratios at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-deps.sh"
cmake -S "$root" -B "$root/build/bench" -DCMAKE_BUILD_TYPE=Release -DSETUP_SANITIZE=OFF >/dev/null
cmake --build "$root/build/bench" -j "${JOBS:-$(nproc)}" >/dev/null
for bench in $(find "$root/build/bench/bench" -type f -name '*_bench' -perm -u+x | sort); do
  echo "== $(basename "$bench")"
  "$bench" --benchmark_color=false "$@"
done
