#!/bin/sh
# Makes the README's pictures from the program's own output: the example chart and a
# tall cut of it, each converted in every fit mode, the frames enlarged 3 times with
# nearest-neighbour scaling so that the 16 levels show.
# Usage: make-pictures.sh GRAYFRAME DOCS_PICTURES OUTPUT_DIR WORK_DIR
set -eu
if [ $# -ne 4 ]; then
    echo "usage: $0 GRAYFRAME DOCS_PICTURES OUTPUT_DIR WORK_DIR" >&2
    exit 2
fi
grayframe=$1 tool=$2 out=$3 work=$4
chart="$(dirname "$0")/../examples/chart.png"

mkdir -p "$out" "$work"
cp "$chart" "$work/chart.png"
"$tool" crop "$chart" "$out/tall.png" 200 0 240 480
cp "$out/tall.png" "$work/tall.png"

for input in chart tall; do
    for mode in fitin fitout stretch; do
        mkdir -p "$work/$mode"
        cp "$work/$input.png" "$work/$mode/"
        "$grayframe" -i "$work/$mode/$input.png" -resizemode "$mode"
        "$tool" enlarge "$work/$mode/$input.png_out.bmp" "$out/$input-$mode.png" 3
    done
done
