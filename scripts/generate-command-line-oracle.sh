#!/usr/bin/env bash
# Regenerates tests/fuzz/data/command_line_oracle.txt: how CommandLineToArgvW
# splits a fixed corpus of command lines, recorded by a small Windows program
# under wine. Run it by hand after changing the corpus; the result is committed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build/oracle
mkdir -p "$work"
x86_64-w64-mingw32-g++ -std=c++20 -O1 -Wall -Wextra -Werror -DUNICODE -D_UNICODE \
  -DWIN32_LEAN_AND_MEAN -I"$root" -static \
  "$root/tests/fuzz/command_line_oracle_win.cpp" "$root/toolkit/winstr.cpp" \
  "$root/runtime/errors.cpp" -lshell32 -o "$work/command-line-oracle.exe"
"$root/scripts/wine-env.sh" start "$work/wine"
trap '"$root/scripts/wine-env.sh" stop "$work/wine"' EXIT
"$root/scripts/wine-env.sh" run "$work/wine" wine "$work/command-line-oracle.exe" \
  >"$work/command_line_oracle.txt"
mv "$work/command_line_oracle.txt" "$root/tests/fuzz/data/command_line_oracle.txt"
echo "Wrote tests/fuzz/data/command_line_oracle.txt"
