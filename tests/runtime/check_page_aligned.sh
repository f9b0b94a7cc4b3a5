#!/usr/bin/env bash
# Fails unless setup.exe's largest section (the payload's) starts on a page
# boundary in the file: wine maps only such sections and reads the others.
#   check_page_aligned.sh OBJDUMP SETUP_EXE
set -euo pipefail
objdump=$1 exe=$2
largest=0 name='' offset=0
# Section lines of objdump -h: index, name, size, address, load address, file offset.
while read -r index section size _ _ at _; do
  [[ $index =~ ^[0-9]+$ ]] || continue
  if ((16#$size > largest)); then
    largest=$((16#$size)) name=$section offset=$((16#$at))
  fi
done < <("$objdump" -h "$exe")
if ((largest == 0 || offset % 4096 != 0)); then
  printf '%s: section %s (%d bytes) starts at file offset 0x%x, not on a page\n' \
    "$exe" "$name" "$largest" "$offset" >&2
  exit 1
fi
printf '%s: section %s (%d bytes) at file offset 0x%x\n' "$exe" "$name" "$largest" "$offset"
