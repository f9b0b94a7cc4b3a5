#!/usr/bin/env bash
# wine-gtest.sh passes a program whose cases all ran and fails one that ended
# in the middle of a case, though its exit code was 0.
#   wine_gtest_test.sh WINE_GTEST_SH PROGRAM.exe
set -u
runner=$1
program=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

"$runner" "$program" --gtest_filter='*Passes' >/dev/null 2>&1 || fail "a passing program failed"
output=$("$runner" "$program" --gtest_filter='*Midway' 2>&1) && fail "an ended program passed"
grep -q "ended before its last case (exit code 0)" <<<"$output" || fail "no reason given: $output"
echo "ok"
