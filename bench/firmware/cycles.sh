# The CPU cycles that the frames of the bench's compressed sets take to decode, measured
# under simavr (cycle-accurate, 16 MHz) by the firmware bench/firmware/cycles.c: for
# bench/firmware.sh and tests/firmware_cycles_test.sh, which source this file (bash).
# They set source (the source tree), build (the folder of grayframe-embed and
# frame_set_pictures) and work (a scratch folder) first.

# The sets, GROUP:MODE: the pictures GROUP-*.png, fitted by grayframe-embed in MODE.
BENCH_SETS="ui:fitin text:fitin icons:fitin sprites:fitin photo:fitout
anim-bounce:stretch anim-clock:stretch anim-ticker:stretch anim-progress:stretch
anim-walk:stretch anim-blink:stretch anim-dot-photo:stretch ball:stretch"

# The bench's pictures into work: frame_set_pictures's and the AVR example's ball.
bench_pictures() {
    "$build/frame_set_pictures" "$work"
    cp "$source"/examples/avr-animation/ball-*.png "$work/"
}

# GROUP MODE MCU TAG [DEFINES...]: GROUP's set (--target avr --compress) decoded by the
# cycle firmware built for MCU with DEFINES in work/GROUP-MCU+TAG; prints its "kind
# cycles" lines, a frame each in turn: rows (row by row), spans, and with -DWHOLE_FRAMES
# whole (over the frame before) and alone (from nothing); also kept in its cycles.txt.
frame_cycles() {
    local group=$1 mode=$2 mcu=$3 dir=$work/$1-$3$4
    shift 4
    mkdir -p "$dir"
    "$build/grayframe-embed" --name frames --mode "$mode" --target avr --compress \
        --output-dir "$dir" "$work/$group"-*.png
    avr-gcc -mmcu="$mcu" -Os -std=c99 "$@" -I"$dir" -I"$source/firmware" \
        -I"$source/tests/firmware" "$source/bench/firmware/cycles.c" \
        "$source/tests/firmware/board_avr.c" "$dir/frames.c" \
        "$source/firmware/grayframe_decode.c" "$source/firmware/grayframe_decode_avr.S" \
        -o "$dir/cycles.elf"
    timeout 300 simavr -m "$mcu" -f 16000000 "$dir/cycles.elf" 2>&1 >/dev/null |
        sed 's/\x1b\[[0-9;]*m//g' | sed -nE 's/^((rows|spans|whole|alone) [0-9]+)\.$/\1/p' |
        tee "$dir/cycles.txt"
}
