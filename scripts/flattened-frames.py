#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Writes frame-0.png, frame-1.png, ... in the current directory: every frame of each
FILE in order (an animated WebP composited by libwebp's animation decoder, any other
picture Pillow reads), put over the gray level GRAY as grayframe-embed does it:
(colour x alpha + GRAY x (255 - alpha)) / 255, rounded down. 16-bit samples are taken
to 8 bits by their high byte, as grayframe reads stills.
Usage: flattened-frames.py GRAY FILE..."""
import sys

from PIL import Image, ImageMath, ImageSequence

gray, k = int(sys.argv[1]), 0
for name in sys.argv[2:]:
    for frame in ImageSequence.Iterator(Image.open(name)):
        *colour, alpha = frame.convert("RGBA").split()
        flat = [ImageMath.eval("convert((c * a + g * (255 - a)) / 255, 'L')",
                               c=c, a=alpha, g=gray) for c in colour]
        Image.merge("RGB", flat).save(f"frame-{k}.png")
        k += 1
