#!/usr/bin/env bash
# Builds the benchmarks without sanitizers (build/bench) and runs them all;
# each prints its side-by-side ratios at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-deps.sh" bench
cmake -S "$root" -B "$root/build/bench" -DCMAKE_BUILD_TYPE=Release -DSETUP_SANITIZE=OFF >/dev/null
cmake --build "$root/build/bench" -j "${JOBS:-$(nproc)}" >/dev/null
for bench in $(find "$root/build/bench/bench" -type f -name '*_bench' -perm -u+x | sort); do
  echo "== $(basename "$bench")"
  "$bench" --benchmark_color=false "$@"
done

# Whole processes under wine (Windows build): the window against a plain
# write, and start-up against a bare frame and an NSIS installer.
win=${SETUP_WIN_BUILD:-$root/build/win}
if [ -f "$win/CMakeCache.txt" ]; then
  # A tree configured before nsis was installed finds makensis now.
  cmake "$win" >/dev/null
  cmake --build "$win" -j "${JOBS:-$(nproc)}" --target setup-window-bench startup-bench >/dev/null
  winpath() { echo "Z:${1//\//\\}"; }
  dir="$root/build/bench/wine"
  "$root/scripts/wine-env.sh" start "$dir"
  echo "== setup-window-bench"
  "$root/scripts/wine-env.sh" run "$dir" wine "$win/bench/ui/setup-window-bench.exe" \
    "$(winpath "$win/setup.exe")" "$(winpath "$win/bench/ui/plain-write.exe")" 15 || true
  echo "== startup-bench"
  nsis=-
  [ -f "$win/bench/ui/nsis-setup.exe" ] && nsis=$(winpath "$win/bench/ui/nsis-setup.exe")
  "$root/scripts/wine-env.sh" run "$dir" wine "$win/bench/ui/startup-bench.exe" \
    "$(winpath "$win/setup.exe")" "$(winpath "$win/bench/ui/bare-frame.exe")" "$nsis" 15 || true
  "$root/scripts/wine-env.sh" stop "$dir"
  echo "== size"
  exe=$(stat -c %s "$win/setup.exe")
  payload=$(stat -c %s "$win/payload/payload.bin")
  goal=$((payload + 600 * 1024))
  echo "setup.exe $exe bytes, payload compressed $payload bytes;" \
    "goal payload + 600 KB = $goal bytes: $([ "$exe" -le "$goal" ] && echo met || echo missed)" \
    "(setup.exe - payload = $(((exe - payload) / 1024)) KB)"
else
  echo "== setup-window-bench, startup-bench, size: skipped, no Windows build (scripts/build.sh)"
fi
