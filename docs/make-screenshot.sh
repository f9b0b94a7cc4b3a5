#!/usr/bin/env bash
# Makes docs/setup-window.png, the picture at the top of the README: the window
# of setup.exe as scripts/run.sh shows it in its demo prefix, photographed
# inside Xvfb once it has painted. Run it again when the window changes; the
# picture is never edited by hand.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SETUP_WIN_BUILD:-$root/build/win}
env -u DISPLAY "$root/scripts/run.sh"
cp "$build/setup-window.png" "$root/docs/setup-window.png"
echo "Wrote $root/docs/setup-window.png"
