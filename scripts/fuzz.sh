#!/usr/bin/env bash
# Builds the fuzz tree (build/fuzz: clang, libFuzzer, ASan, UBSan) and runs
# each fuzz target for a while, starting from its seeds in tests/fuzz/corpus.
#   fuzz.sh [-t SECONDS] [NAME…]   default: 20 s each, every target
#   fuzz.sh --build                only build them
# Inputs found along the way collect in build/fuzz/corpus/NAME, so a later
# run goes on from them; a crash or broken property is kept as
# build/fuzz/crashes/NAME/crash-*, and the script then fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=20
build_only=
if [ "${1:-}" = "--build" ]; then
  build_only=1
  shift
elif [ "${1:-}" = "-t" ]; then
  seconds=$2
  shift 2
fi
build=$root/build/fuzz
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  # Every target has its seeds there.
  for dir in "$root"/tests/fuzz/corpus/*/; do names+=("$(basename "$dir")"); done
fi

[ -n "$build_only" ] || "$root/scripts/setup-deps.sh"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G "Unix Makefiles" \
  -DCMAKE_BUILD_TYPE=Release -DSETUP_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz -j "${JOBS:-$(nproc)}" >/dev/null
[ -z "$build_only" ] || exit 0

# One target: its log and a line of summary in build/fuzz/crashes/NAME.
run_target() {
  local name=$1
  local program=$build/tests/fuzz/fuzz-${name//_/-}
  local out=$build/crashes/$name
  local result=ok
  mkdir -p "$build/corpus/$name" "$out"
  "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$out/" "$build/corpus/$name" "$root/tests/fuzz/corpus/$name" \
    >"$out/last-run.log" 2>&1 || result=FAILED
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/last-run.log" | tail -n 1)
  printf '%-14s %6s s %12s runs  %s\n' "$name" "$seconds" "${runs:-?}" "$result" >"$out/summary"
}

for name in "${names[@]}"; do
  [ -x "$build/tests/fuzz/fuzz-${name//_/-}" ] && [ -d "$root/tests/fuzz/corpus/$name" ] ||
    { echo "no fuzz target $name" >&2; exit 2; }
  rm -f "$build/crashes/$name/summary"
done
# One target a core at a time.
parallel=${FUZZ_JOBS:-$(nproc)}
for name in "${names[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
  run_target "$name" &
done
wait

status=0
for name in "${names[@]}"; do
  if ! grep -qs ' ok$' "$build/crashes/$name/summary"; then
    status=1
    echo "== fuzz target $name failed; the end of build/fuzz/crashes/$name/last-run.log:" >&2
    tail -n 40 "$build/crashes/$name/last-run.log" >&2
  fi
done
for name in "${names[@]}"; do cat "$build/crashes/$name/summary" 2>/dev/null || true; done
exit $status
