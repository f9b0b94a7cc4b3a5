#!/usr/bin/env bash
# Runs a GoogleTest program under wine (inside wine-env.sh run) and fails when
# the program ended before its last case: wine ends a process whose stack
# overflowed too far for any handler with exit code 0, which would pass.
#   wine-gtest.sh PROGRAM.exe [ARGS…]
set -u
marker=$(mktemp -u "${TMPDIR:-/tmp}/gtest-running.XXXXXX")
# GoogleTest makes this file at start and removes it when it ends normally.
TEST_PREMATURE_EXIT_FILE="Z:${marker//\//\\}" wine "$@"
code=$?
if [ -e "$marker" ]; then
  rm -f "$marker"
  echo "wine-gtest.sh: $1 ended before its last case (exit code $code)" >&2
  exit 1
fi
exit "$code"
