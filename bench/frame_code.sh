#!/bin/bash
# Bytes per frame of compressed frame sets beside zlib -9 and LZ4-HC on each frame
# alone, on the pictures of frame_set_pictures (UI screens, text, icons, sprites,
# photo-like pictures, animations one file a frame), ImageMagick's built-in photographs
# (rose, granite) and the example project's pictures; prints a Markdown table (also
# kept as WORK_DIR/frame-code.md).
# Usage: bench/frame_code.sh WORK_DIR BUILD_DIR   (BUILD_DIR holds grayframe,
# frame_set_pictures and frame_code_bench)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
work=$(mkdir -p "$1/frame-code" && cd "$1/frame-code" && pwd)
build=$(cd "$2" && pwd)
grayframe=$build/grayframe
rm -f "$work"/*.png "$work"/*.raw
"$build/frame_set_pictures" "$work"
convert rose: "$work/rose-00.png"
convert granite: "$work/granite-00.png"
cp "$here/../examples/cmake-firmware/logo.png" "$work/logo-00.png"
for k in 1 2 3; do
    cp "$here/../examples/cmake-firmware/walk-$k.png" "$work/walk-0$k.png"
done

# GROUP MODE: the group's pictures, in name order, as one raw stream.
raw() {
    local inputs=()
    for picture in "$work/$1"-*.png; do inputs+=(-i "$picture"); done
    "$grayframe" -resizemode "$2" -printdata "${inputs[@]}" >"$work/$1.raw"
}
args=()
for group in ui text icons sprites dithered logo; do
    raw $group fitin
    args+=("still:$group=$work/$group.raw")
done
for group in photo rose granite; do
    raw $group fitout
    args+=("photo:$group=$work/$group.raw")
done
for group in anim-bounce anim-clock anim-ticker anim-progress anim-walk anim-blink anim-plasma \
    anim-sprite-photo anim-dot-photo walk; do
    raw $group stretch
    args+=("anim:$group=$work/$group.raw")
done
{
    echo "## Compressed frame sets ($(date -u +%Y-%m-%d))"
    echo
    echo "Bytes per frame: each group coded as one set (header and index included);"
    echo "zlib -9 and LZ4-HC (level 12) on each frame alone."
    echo
    "$build/frame_code_bench" "${args[@]}"
} | tee "$work/../frame-code.md"
