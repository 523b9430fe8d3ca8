#!/usr/bin/env bash
# Renders the icon's PNG sizes and the Windows .ico from chenghe-huji.svg (rsvg-convert from
# librsvg2-bin, ImageMagick's convert). The results are committed, so that a build needs neither;
# run this after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p png
for s in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$s" -h "$s" chenghe-huji.svg -o "png/${s}.png"
done
convert png/16.png png/24.png png/32.png png/48.png png/64.png png/256.png ../windows/chenghe-huji.ico
