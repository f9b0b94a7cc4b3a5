#!/usr/bin/env bash
# The main job: builds setup.exe and shows what it carries.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
list=$(sed -n 's/^SETUP_PAYLOAD_LIST_USED:INTERNAL=//p' "$root/build/win/CMakeCache.txt")
"$root/build/native/tools/payload-pack" --print "$list"
# Until the window exists: the headless install into a demo Wine prefix.
"$root/scripts/demo-install.sh"
