#!/usr/bin/env bash
# A DLL planted beside the program (a downloads folder) or in the current
# directory under a system library's name is never loaded; the manifest's
# common controls 6 still are.
#   planted_library_test.sh SETUP_EXE LOADED_LIBRARY_EXE PLANTED_DLL WORK_DIR
set -euo pipefail
setup_exe=$1 probe_exe=$2 planted=$3 dir=$4
rm -rf "$dir"
mkdir -p "$dir/downloads" "$dir/elsewhere"
cp "$setup_exe" "$probe_exe" "$dir/downloads/"
for name in gdiplus comctl32 shlwapi ole32 advapi32; do
  cp "$planted" "$dir/downloads/$name.dll"
  cp "$planted" "$dir/elsewhere/$name.dll"
done
# Wine prefers its own copy of a library it implements; make it prefer a copy
# in the search path, as Windows does for libraries that are not known DLLs.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}gdiplus,comctl32,shlwapi=n,b"
status=0
fail() { echo "FAIL: $*"; status=1; }

run() {  # run DIR EXE ARGS…: output in $out, exit code in $rc
  local cwd=$1
  shift
  set +e
  out=$(cd "$cwd" && wine "$@" 2>&1 | tr -d '\r')
  rc=${PIPESTATUS[0]}
  set -e
}

# Without the guard a plain load takes the planted copy: the test can see a planting.
run "$dir/downloads" ./loaded_library.exe naive gdiplus
[ "$rc" -eq 42 ] || { echo "control: LoadLibraryA did not take the planted copy (exit $rc): $out"; exit 1; }

for cwd in downloads elsewhere; do
  # An argument other than "-e" ends the program right after its start-up.
  run "$dir/$cwd" "$dir/downloads/setup.exe" -x
  [ "$rc" -eq 0 ] && ! grep -qx planted <<<"$out" || fail "setup.exe from $cwd: exit $rc: $out"
  for name in gdiplus shlwapi; do
    run "$dir/$cwd" "$dir/downloads/loaded_library.exe" system "$name"
    [ "$rc" -eq 0 ] && grep -qi 'system32' <<<"$out" || fail "$name from $cwd: exit $rc: $out"
  done
  # The manifest's redirection still picks common controls 6 from winsxs.
  run "$dir/$cwd" "$dir/downloads/loaded_library.exe" system comctl32
  [ "$rc" -eq 0 ] && grep -qi 'winsxs' <<<"$out" || fail "comctl32 from $cwd: exit $rc: $out"
done
exit $status
