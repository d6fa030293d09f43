#!/bin/sh
# Makes the README's pictures from the programs' own output: the example chart and a
# tall cut of it, each converted in every fit mode; a photograph and a red-on-black
# logo made by grayframe-embed with and without display options. The frames are
# enlarged 3 times with nearest-neighbour scaling so that the 16 levels show.
# Usage: make-pictures.sh GRAYFRAME DOCS_PICTURES OUTPUT_DIR WORK_DIR EMBED
set -eu
if [ $# -ne 5 ]; then
    echo "usage: $0 GRAYFRAME DOCS_PICTURES OUTPUT_DIR WORK_DIR EMBED" >&2
    exit 2
fi
grayframe=$1 tool=$2 out=$3 work=$4 embed=$5
examples="$(dirname "$0")/../examples"
chart="$examples/chart.png"

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

# The display options, each set of them under the name its pictures carry.
for input in rose logo-red; do
    for variant in default luma-round ordered diffusion; do
        case $variant in
            default) options="" ;;
            luma-round) options="--gray luma --levels round" ;;
            ordered) options="--gray luma --dither ordered" ;;
            diffusion) options="--gray luma --dither diffusion" ;;
        esac
        # shellcheck disable=SC2086  # the options are words
        "$embed" --name frames --output-dir "$work" $options "$examples/$input.png"
        "$tool" unpack "$work/frames.c" "$work/frame.png"
        "$tool" enlarge "$work/frame.png" "$out/$input-$variant.png" 3
    done
done
