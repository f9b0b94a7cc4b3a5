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
  names=(uncompress join_path discovery replace lower_case payload_list command_line)
fi

[ -n "$build_only" ] || "$root/scripts/setup-deps.sh"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G "Unix Makefiles" \
  -DCMAKE_BUILD_TYPE=Release -DSETUP_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz -j "${JOBS:-$(nproc)}" >/dev/null
[ -z "$build_only" ] || exit 0

status=0
summary=""
for name in "${names[@]}"; do
  program=$build/tests/fuzz/fuzz-${name//_/-}
  seeds=$root/tests/fuzz/corpus/$name
  [ -x "$program" ] && [ -d "$seeds" ] || { echo "no fuzz target $name" >&2; exit 2; }
  mkdir -p "$build/corpus/$name" "$build/crashes/$name"
  log=$build/crashes/$name/last-run.log
  result=ok
  "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/crashes/$name/" "$build/corpus/$name" "$seeds" >"$log" 2>&1 ||
    result=FAILED
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ "$result" != ok ]; then
    status=1
    echo "== fuzz target $name failed; the end of $log:" >&2
    tail -n 40 "$log" >&2
  fi
  summary+=$(printf '%-14s %6s s %12s runs  %s' "$name" "$seconds" "${runs:-?}" "$result")$'\n'
done
printf '%s' "$summary"
exit $status
