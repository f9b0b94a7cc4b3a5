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

# The window against a plain write, whole processes under wine (Windows build).
win=${SETUP_WIN_BUILD:-$root/build/win}
if [ -f "$win/bench/ui/setup-window-bench.exe" ]; then
  echo "== setup-window-bench"
  dir="$root/build/bench/wine"
  "$root/scripts/wine-env.sh" start "$dir"
  "$root/scripts/wine-env.sh" run "$dir" wine "$win/bench/ui/setup-window-bench.exe" \
    "Z:${win//\//\\}\\setup.exe" "Z:${win//\//\\}\\bench\\ui\\plain-write.exe" 15 || true
  "$root/scripts/wine-env.sh" stop "$dir"
else
  echo "== setup-window-bench: skipped, no Windows build (scripts/build.sh)"
fi
