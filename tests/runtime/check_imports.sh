#!/usr/bin/env bash
# Fails when setup.exe imports a system function directly beyond the allowed
# ones, or when an object of ours (not of the toolchain) imports one that only
# the toolchain's runtime may.
#   check_imports.sh OBJDUMP SETUP_EXE LINK_MAP ALLOWED_IMPORTS
set -euo pipefail
objdump=$1 exe=$2 map=$3 allowed=$4
status=0

# "library function kind" lines, library names in lower case.
rules=$(grep -v '^\s*#' "$allowed" | awk 'NF == 3 {print tolower($1), $2, $3}')

allowed_kind() {  # allowed_kind LIBRARY FUNCTION: prints the kind, or nothing
  awk -v lib="${1,,}" -v fn="$2" '$1 == lib && ($2 == fn || $2 == "*") {print $3; exit}' <<<"$rules"
}

imports=$("$objdump" -p "$exe" | awk '
  /DLL Name:/ {dll = $3; next}
  /Hint\/Ord Member-Name/ {inlist = 1; next}
  inlist && NF == 0 {inlist = 0}
  inlist {print dll, $NF}')
[ -n "$imports" ] || { echo "no import table read from $exe"; exit 1; }
while read -r dll fn; do
  [ -n "$(allowed_kind "$dll" "$fn")" ] || { echo "not allowed: $dll $fn"; status=1; }
done <<<"$imports"

# The link map's cross references: "__imp_NAME  defining-import-library" and
# then the referencing objects, one a line. Ours are those outside /usr.
references=$(awk '
  /^Cross Reference Table/ {table = 1; next}
  !table {next}
  /^__imp_/ {symbol = substr($1, 7); library = $2; next}
  /^[^ \t]/ {symbol = ""; next}
  symbol != "" && $1 !~ "^/usr/" {print symbol, library, $1}' "$map")
while read -r fn library object; do
  [ -n "$fn" ] || continue
  lib=$(sed -E 's/.*lib([a-z0-9_]+)\.a\(.*/\1/' <<<"$library")
  case $lib in
    msvcrt*) dll=msvcrt.dll ;;
    *) dll=$lib.dll ;;
  esac
  [ "$(allowed_kind "$dll" "$fn")" = own ] || { echo "our $object imports $dll $fn"; status=1; }
done <<<"$references"
[ $status -eq 0 ] && echo "$(wc -l <<<"$imports") direct imports, all allowed"
exit $status
