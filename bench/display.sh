#!/bin/sh
# Measures the display options' frames against the ideal frame on photographs made
# reproducibly with ImageMagick: its built-in rose photograph enlarged, and plasma
# fractals from fixed seeds, raw and blurred (smooth like skies). Prints a Markdown
# table; the exit status is 1 when a mean gain misses its target.
# Usage: bench/display.sh DISPLAY_QUALITY WORK_DIR
set -eu
tool=$1 work=$2/display
magick=/usr/bin/convert-im6.q16
mkdir -p "$work"
"$magick" rose: -resize 400% "$work/rose.png"
"$magick" -seed 1 -size 640x480 plasma:fractal "$work/plasma-1.png"
"$magick" -seed 2 -size 640x480 plasma:fractal -blur 0x6 "$work/plasma-2-blurred.png"
"$magick" -seed 3 -size 640x480 plasma:fractal -blur 0x3 "$work/plasma-3-blurred.png"
echo "### Display options: PSNR against the ideal frame after a viewing blur"
echo
echo "The ideal frame is the 8-bit gray frame before quantization (red weighed as red);"
echo "both it and each frame's light (level * 255 / 15) are blurred by a Gaussian of"
echo "sigma = 1 frame pixel; fitout, so the picture fills the frame."
echo
"$tool" "$work/rose.png" "$work/plasma-1.png" "$work/plasma-2-blurred.png" \
    "$work/plasma-3-blurred.png"
