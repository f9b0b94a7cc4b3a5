#!/usr/bin/env bash
# Shows the gallery window under wine, photographs the desktop with ImageMagick
# and keeps the picture as an artefact of the run.
#   gallery_screenshot.sh GALLERY_EXE OUT_DIR
set -euo pipefail
exe=$1
out=$2
mkdir -p "$out"
ready=$out/toolkit-gallery.ready
done=$out/toolkit-gallery.done
png=$out/toolkit-gallery.png
rm -f "$ready" "$done" "$png"

wine "$exe" "$(winepath -w "$ready")" "$(winepath -w "$done")" &
pid=$!
for _ in $(seq 300); do
  [ -s "$ready" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "the gallery ended before showing its window" >&2; exit 1; }
  sleep 0.1
done
[ -s "$ready" ] || { kill "$pid"; echo "the gallery window did not show" >&2; exit 1; }
read -r width height < <(tr -d '\r' <"$ready")
sleep 1  # let it paint
import -display "$DISPLAY" -window root -crop "${width}x${height}+0+0" +repage "$png"
touch "$done"
wait "$pid"

# A picture of the desktop's size, not one plain colour.
identify -format '%w %h\n' "$png" | { read -r w h; [ "$w" = "$width" ] && [ "$h" = "$height" ]; }
colours=$(convert "$png" -format '%k' info:)
[ "$colours" -gt 16 ] || { echo "the screenshot has only $colours colours" >&2; exit 1; }
echo "kept $png (${width}x${height}, $colours colours)"
