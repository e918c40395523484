#!/usr/bin/env bash
# Renders the application icon: the DCT basis pattern (u, v) = (2, 1) on an
# 8x8 grid of grey squares, enlarged without smoothing. Needs ImageMagick.
# The PNGs are committed; run this only to change the artwork.
set -euo pipefail
cd "$(dirname "$0")/icons"
convert -size 8x8 xc:gray -colorspace Gray \
    -fx '0.5 + 0.5*cos((2*i+1)*2*pi/16)*cos((2*j+1)*1*pi/16)' base.png
for size in 32 48 64 128 256; do
    convert base.png -filter point -resize "${size}x${size}" \
        -bordercolor '#008080' -border "$((size / 32))" -resize "${size}x${size}!" \
        -define png:exclude-chunks=date,time -strip "quadrel-${size}.png"
done
rm base.png
