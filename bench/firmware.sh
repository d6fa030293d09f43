#!/bin/bash
# The firmware decoder on its targets: flash and RAM of grayframe_decode.c at -Os for
# the ATmega328P (avr-size) and a Cortex-M0 (arm-none-eabi-size), and the CPU cycles
# per frame under simavr (cycle-accurate, 16 MHz) on the pictures of
# frame_set_pictures and the AVR example's animation, each group a compressed set with
# --target avr: row by row and as spans on the ATmega328P; whole frames on the
# ATmega1284P, the same core with the 16 KiB of RAM a 4080-byte frame buffer needs,
# the set read with LPM as on the 328P (GRAYFRAME_NEAR_FLASH: it lies below 64 KiB).
# Prints a Markdown table (also kept as WORK_DIR/firmware.md).
# Usage: bench/firmware.sh WORK_DIR BUILD_DIR   (BUILD_DIR holds grayframe-embed and
# frame_set_pictures)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/.." && pwd)
work=$(mkdir -p "$1/firmware" && cd "$1/firmware" && pwd)
build=$(cd "$2" && pwd)
decoder=$source/firmware/grayframe_decode.c
rm -rf "${work:?}"/*
"$build/frame_set_pictures" "$work"
cp "$source"/examples/avr-animation/ball-*.png "$work/"

# The decoder alone: code and data in flash, static RAM, and its state.
printf '#include "grayframe_decode.h"\ngrayframe_decoder state;\n' >"$work/state.c"
avr-gcc -mmcu=atmega328p -Os -std=c99 -c "$decoder" -o "$work/avr.o"
avr-gcc -mmcu=atmega328p -Os -std=c99 -I"$source/firmware" -c "$work/state.c" \
    -o "$work/avr-state.o"
arm-none-eabi-gcc -mcpu=cortex-m0 -mthumb -Os -std=c99 -c "$decoder" -o "$work/m0.o"
arm-none-eabi-gcc -mcpu=cortex-m0 -mthumb -Os -std=c99 -I"$source/firmware" \
    -c "$work/state.c" -o "$work/m0-state.o"
# TOOL OBJECT STATE_OBJECT: "flash static-RAM state" in bytes.
sizes() {
    local text data bss state
    read -r text data bss _ < <("$1-size" "$2" | tail -1)
    state=$("$1-nm" -S "$3" | awk '$4 == "state" { print $2 }')
    echo "$((text + data)) $((data + bss)) $((16#$state))"
}
read -r avr_flash avr_ram avr_state < <(sizes avr "$work/avr.o" "$work/avr-state.o")
read -r m0_flash m0_ram m0_state < <(sizes arm-none-eabi "$work/m0.o" "$work/m0-state.o")

# GROUP MODE MCU [DEFINES...]: the "kind cycles" lines of the cycle firmware.
cycles() {
    local group=$1 mode=$2 mcu=$3 dir=$work/$1-$3
    shift 3
    mkdir -p "$dir"
    "$build/grayframe-embed" --name frames --mode "$mode" --target avr --compress \
        --output-dir "$dir" "$work/$group"-*.png
    avr-gcc -mmcu="$mcu" -Os -std=c99 "$@" -I"$dir" -I"$source/firmware" \
        -I"$source/tests/firmware" "$here/firmware/cycles.c" \
        "$source/tests/firmware/board_avr.c" "$dir/frames.c" "$decoder" -o "$dir/cycles.elf"
    timeout 300 simavr -m "$mcu" -f 16000000 "$dir/cycles.elf" 2>&1 >/dev/null |
        sed 's/\x1b\[[0-9;]*m//g' | sed -nE 's/^((rows|spans|whole|alone) [0-9]+)\.$/\1/p' |
        tee "$work/$group-$mcu.txt"
}
# KIND: "mean / most" of the cycles of that kind read on standard input.
summary() {
    awk -v kind="$1" '$1 == kind { n++; sum += $2; if ($2 > most) most = $2 }
        END { if (n) printf "%d / %d", sum / n, most; else printf "-" }'
}
{
    echo "## The firmware decoder on its targets ($(date -u +%Y-%m-%d))"
    echo
    echo "grayframe_decode.c at -Os: flash (code and constants), static RAM, and the"
    echo "decoder's state (one grayframe_decoder, the only RAM it uses besides the"
    echo "caller's buffer and a few bytes of stack)."
    echo
    echo "| target | flash | static RAM | state |"
    echo "|---|---:|---:|---:|"
    echo "| ATmega328P (avr-gcc $(avr-gcc -dumpversion)) | $avr_flash | $avr_ram | $avr_state |"
    echo "| Cortex-M0 (arm-none-eabi-gcc $(arm-none-eabi-gcc -dumpversion)) | $m0_flash | $m0_ram | $m0_state |"
    echo
    echo "CPU cycles per frame under simavr, mean / most, the set in program memory"
    echo "opened by NAME_open: rows and spans on the ATmega328P; whole frames on the"
    echo "ATmega1284P (the 328P's core with RAM for a frame; the set, below 64 KiB, read"
    echo "as on the 328P: GRAYFRAME_NEAR_FLASH), applied to the frame before (whole) and"
    echo "from nothing (alone)."
    echo
    echo "| set | frames | rows (328P) | spans (328P) | whole (1284P) | alone (1284P) |"
    echo "|---|---:|---:|---:|---:|---:|"
    for entry in ui:fitin text:fitin icons:fitin sprites:fitin photo:fitout \
        anim-bounce:stretch anim-clock:stretch anim-ticker:stretch \
        anim-progress:stretch anim-walk:stretch anim-blink:stretch ball:stretch; do
        group=${entry%:*} mode=${entry#*:}
        rows=$(cycles "$group" "$mode" atmega328p)
        whole=$(cycles "$group" "$mode" atmega1284p -DWHOLE_FRAMES -DGRAYFRAME_NEAR_FLASH)
        count=$(grep -c '^rows' <<<"$rows")
        echo "| $group | $count | $(summary rows <<<"$rows") | $(summary spans <<<"$rows") |" \
            "$(summary whole <<<"$whole") | $(summary alone <<<"$whole") |"
    done
} | tee "$work/../firmware.md"
