#!/usr/bin/env bash
# Shows the gallery window under wine, photographs it once it has painted and
# keeps the picture as an artefact of the run.
#   gallery_screenshot.sh GALLERY_EXE WINDOW_SHOT_EXE OUT_DIR
set -euo pipefail
exe=$1
shot=$2
out=$3
mkdir -p "$out"
done=$out/toolkit-gallery.done
png=$out/toolkit-gallery.png
rm -f "$done" "$png"

wine "$exe" "$(winepath -w "$done")" &
pid=$!
size=$(wine "$shot" wFrame "" "$(winepath -w "$png")" | tr -d '\r') || {
  kill "$pid"
  echo "no picture of the gallery window" >&2
  exit 1
}
touch "$done"
wait "$pid"

# A picture of the window's size, not one plain colour.
[ "$(identify -format '%w %h' "$png")" = "$size" ] || {
  echo "the picture is not of the window's size ($size)" >&2
  exit 1
}
colours=$(convert "$png" -format '%k' info:)
[ "$colours" -gt 16 ] || { echo "the screenshot has only $colours colours" >&2; exit 1; }
echo "kept $png (${size/ /x}, $colours colours)"
