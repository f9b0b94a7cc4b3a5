#!/usr/bin/env bash
# Gives a started wine environment (scripts/wine-env.sh) what Allplan 2025
# leaves on a machine: the two registry values below its installation key and
# an install_type_info.txt whose NetPath is C:\Data\Allplan\2025\.
#   prepare-demo-prefix.sh DIR
set -euo pipefail
dir=$1
# shellcheck disable=SC1091
source "$dir/env"
key='HKLM\SOFTWARE\NEMETSCHEK\Allplan\2025.0\InstallRoot'
wine reg add "$key" /v ProgramDataDrive /d 'C:' /f >/dev/null 2>&1
wine reg add "$key" /v ProgramDataPath /d '\ProgramData\Nemetschek\Allplan\2025\' /f >/dev/null 2>&1
data="$WINEPREFIX/drive_c/ProgramData/Nemetschek/Allplan/2025"
mkdir -p "$data"
printf 'InstallType=Office\r\nNetPath=C:\\Data\\Allplan\\2025\\\r\n' >"$data/install_type_info.txt"
