#!/usr/bin/env bash
# Draws src/shell/loading.bmp, the picture the viewer shows while the first picture is on its
# way: black like the panels, the amber of the buttons, the captions' white and grey.
set -euo pipefail
cd "$(dirname "$0")/.."
dots=()
for i in $(seq 0 11); do
  read -r x y < <(awk -v i="$i" 'BEGIN { a = 2 * 3.14159265 * i / 12 - 3.14159265 / 2; printf "%.1f %.1f\n", 200 + 34 * cos(a), 130 + 34 * sin(a) }')
  shade="rgb($((48 + (245 - 48) * i / 11)),$((40 + (166 - 40) * i / 11)),$((24 + (35 - 24) * i / 11)))"
  dots+=(-fill "$shade" -draw "circle $x,$y $(awk -v x="$x" 'BEGIN { printf "%.1f", x + 5 }'),$y")
done
/usr/bin/convert -size 401x313 xc:black "${dots[@]}" \
  -font DejaVu-Sans-Bold -pointsize 15 -fill '#EEF1F5' -gravity north -annotate +0+190 'Loading picture...' \
  -font DejaVu-Sans -pointsize 11 -fill '#9AA4B2' -annotate +0+214 'Press Esc to return to the list' \
  -colors 64 -type Palette BMP3:src/shell/loading.bmp
