#!/usr/bin/env bash
# The main job: builds setup.exe and runs it under wine in a demo prefix that
# looks like a machine with Allplan 2025. On your display when there is one
# (close the window or install to end), otherwise inside Xvfb, where a
# screenshot of the window is saved once it has painted and the window is then
# closed.
#   run.sh [setup.exe arguments, e.g. -e]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
build=${SETUP_WIN_BUILD:-$root/build/win}
user_display=${DISPLAY:-}
dir="$build/demo"
env_sh="$root/scripts/wine-env.sh"
"$env_sh" start "$dir"
trap '"$env_sh" stop "$dir"' EXIT
"$root/scripts/prepare-demo-prefix.sh" "$dir"
# shellcheck disable=SC1091
source "$dir/env"
if [ -n "$user_display" ]; then
  # The prefix's desktop runs on Xvfb; a fresh wineserver opens it on yours.
  wineserver -k 2>/dev/null || true
  export DISPLAY=$user_display
  status=0
  wine "$build/setup.exe" "$@" || status=$?
  echo "setup.exe ended with exit code $status"
  exit $status
fi
wine "$build/setup.exe" "$@" &
shot="$build/setup-window.png"
rm -f "$shot"
if wine "$build/tests/driver/window-shot.exe" wFrame "" "$(winepath -w "$shot")" >/dev/null; then
  echo "Screenshot of the window: $shot"
else
  echo "setup.exe showed no window" >&2
fi
wineserver -k
[ -f "$shot" ]
