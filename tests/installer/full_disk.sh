#!/usr/bin/env bash
# Runs the full-disk test program with a small tmpfs mapped as drive T: of the
# wine prefix. Mounting needs root; without it the test is skipped (exit 77).
set -euo pipefail
test_exe=$1
size=${SETUP_SMALL_DRIVE_SIZE:-16m}
skip() {
  echo "SKIPPED: $*"
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "mounting the small drive needs root"
mnt=$(mktemp -d)
link=$WINEPREFIX/dosdevices/t:
cleanup() {
  rm -f "$link"
  umount "$mnt" 2>/dev/null || true
  rmdir "$mnt"
}
trap cleanup EXIT
if ! error=$(mount -t tmpfs -o "size=$size" tmpfs "$mnt" 2>&1); then
  skip "cannot mount a tmpfs: $error"
fi
ln -sfn "$mnt" "$link"
SETUP_SMALL_DRIVE=T: wine "$test_exe" --gtest_brief=0
