#!/usr/bin/env bash
# Installs the payload with headless-install.exe into a demo Wine prefix, as the
# installer's Install button will once the window exists.
#   demo-install.sh [Bureau|Privé]     (default Bureau)
# The prefix (demo/ in the Windows build) gets Allplan 2025's registry values and an
# install_type_info.txt whose NetPath is C:\Data\Allplan\2025\. Needs the
# Windows build (scripts/build.sh; SETUP_WIN_BUILD names another).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
choice=${1:-Bureau}
build=${SETUP_WIN_BUILD:-$root/build/win}
exe="$build/installer/headless-install.exe"
[ -f "$exe" ] || { echo "missing $exe: run scripts/build.sh first" >&2; exit 1; }
dir="$build/demo"
env_sh="$root/scripts/wine-env.sh"

"$env_sh" start "$dir"
trap '"$env_sh" stop "$dir"' EXIT
# shellcheck disable=SC1091
source "$dir/env"

"$root/scripts/prepare-demo-prefix.sh" "$dir"

status=0
wine "$exe" "$choice" || status=$?
wineserver -w
if [ "$choice" = Bureau ]; then
  library="$WINEPREFIX/drive_c/Data/Allplan/2025/Std"
else
  library="$WINEPREFIX/drive_c/users/$(whoami)/Documents/Nemetschek/Allplan/2025/Usr/Local"
fi
echo "headless-install $choice: exit status $status"
if [ -d "$library" ]; then
  echo "$(find "$library" -type f | wc -l) files below ${library#"$WINEPREFIX/"}:"
  (cd "$library" && find . -maxdepth 4 -type d | sort | while read -r d; do
    printf '  %-40s %3d files\n' "${d#./}" "$(find "$d" -maxdepth 1 -type f | wc -l)"
  done)
fi
exit $status
