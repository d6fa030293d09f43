#!/bin/bash
# The firmware decoder's size and speed on AVR: flash of grayframe_decode.c at -Os
# (avr-size for the ATmega328P, arm-none-eabi-size for a Cortex-M0), its state, and the
# CPU cycles per frame under simavr (cycle-accurate, 16 MHz) with the set in program
# memory read by GRAYFRAME_READ_BYTE = pgm_read_byte: row by row and as spans on the
# ATmega328P, whole frames on the ATmega2560 (the RAM for a 4080-byte frame). The sets
# are the pictures of frame_set_pictures and ImageMagick's rose, each group compressed
# by grayframe-embed. Prints a Markdown table (also kept as WORK_DIR/decoder-cycles.md)
# and every frame's figures in WORK_DIR/decoder-cycles/GROUP-MCU.txt.
# Usage: bench/decoder_cycles.sh WORK_DIR BUILD_DIR [GROUP:MODE ...]
#   (BUILD_DIR holds grayframe-embed and frame_set_pictures; extra CFLAGS for the
#   decoder in DECODER_CFLAGS)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/.." && pwd)
work=$(mkdir -p "$1/decoder-cycles" && cd "$1/decoder-cycles" && pwd)
build=$(cd "$2" && pwd)
shift 2
groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(ui:fitin text:fitin icons:fitin sprites:fitin
    photo:fitout rose:fitout anim-bounce:stretch anim-clock:stretch anim-ticker:stretch
    anim-progress:stretch anim-walk:stretch)
decoder=$source/firmware/grayframe_decode.c
read -r -a extra <<<"${DECODER_CFLAGS:-}"
rm -rf "${work:?}"/*
"$build/frame_set_pictures" "$work" >/dev/null
convert rose: "$work/rose-00.png"

# MCU: flash (text + data) of the decoder alone, and the size of its state.
printf '#include "grayframe_decode.h"\ngrayframe_decoder state;\n' >"$work/state.c"
flash() {
    "$1-gcc" "${@:2}" -Os -std=c99 "${extra[@]}" -c "$decoder" -o "$work/decoder.o"
    "$1-gcc" "${@:2}" -Os -std=c99 -I"$source/firmware" -c "$work/state.c" -o "$work/state.o"
    local text data state
    read -r text data _ < <("$1-size" "$work/decoder.o" | tail -1)
    state=$("$1-nm" -S "$work/state.o" | awk '$4 == "state" { print $2 }')
    echo "$((text + data)) $((16#$state))"
}
read -r avr_flash avr_state < <(flash avr -mmcu=atmega328p)
read -r m0_flash m0_state < <(flash arm-none-eabi -mcpu=cortex-m0 -mthumb)

# GROUP MODE MCU [DEFINES...]: the "mode cycles" lines of the cycle program.
cycles() {
    local group=$1 mode=$2 mcu=$3 dir=$work/$1-$3
    shift 3
    mkdir -p "$dir"
    "$build/grayframe-embed" --name frames --mode "$mode" --compress \
        --attribute PROGMEM --output-dir "$dir" "$work/$group"-*.png
    avr-gcc -mmcu="$mcu" -Os -std=c99 -include avr/pgmspace.h \
        -D'GRAYFRAME_READ_BYTE(a)=pgm_read_byte((unsigned)(a))' "$@" "${extra[@]}" \
        -I"$dir" -I"$source/firmware" "$here/decoder_cycles.c" "$dir/frames.c" \
        "$decoder" -o "$dir/cycles.elf"
    timeout 300 simavr -m "$mcu" -f 16000000 "$dir/cycles.elf" 2>&1 >/dev/null |
        sed 's/\x1b\[[0-9;]*m//g' | sed -nE 's/^((rows|spans|whole|alone|error) [0-9]+)\.?$/\1/p' |
        tee "$work/$group-$mcu.txt"
}
# KIND: "mean / most" of the cycles of that kind read on standard input.
summary() {
    awk -v kind="$1" '$1 == kind { n++; sum += $2; if ($2 > most) most = $2 }
        END { if (n) printf "%d / %d", sum / n, most; else printf "-" }'
}
{
    echo "## The firmware decoder on AVR ($(date -u +%Y-%m-%d))"
    echo
    echo "grayframe_decode.c at -Os ${DECODER_CFLAGS:-}: flash (text and data) and its state."
    echo
    echo "| target | flash | state |"
    echo "|---|---:|---:|"
    echo "| ATmega328P (avr-gcc $(avr-gcc -dumpversion)) | $avr_flash | $avr_state |"
    echo "| Cortex-M0 (arm-none-eabi-gcc $(arm-none-eabi-gcc -dumpversion)) | $m0_flash | $m0_state |"
    echo
    echo "CPU cycles per frame under simavr, mean / most: rows and spans on the"
    echo "ATmega328P; whole frames on the ATmega2560, applied to the frame before (whole)"
    echo "and from nothing (alone)."
    echo
    echo "| set | frames | rows (328P) | spans (328P) | whole (2560) | alone (2560) |"
    echo "|---|---:|---:|---:|---:|---:|"
    for entry in "${groups[@]}"; do
        group=${entry%:*} mode=${entry#*:}
        small=$(cycles "$group" "$mode" atmega328p)
        big=$(cycles "$group" "$mode" atmega2560 -DWHOLE_FRAMES)
        count=$(grep -c '^rows' <<<"$small" || true)
        echo "| $group | $count | $(summary rows <<<"$small") | $(summary spans <<<"$small") |" \
            "$(summary whole <<<"$big") | $(summary alone <<<"$big") |"
    done
} | tee "$work/../decoder-cycles.md"
