#!/bin/bash
# The firmware decoder on its targets: flash and RAM of grayframe_decode.c (and on AVR
# its loops, grayframe_decode_avr.S) at -Os for
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
loops=$source/firmware/grayframe_decode_avr.S
rm -rf "${work:?}"/*
source "$here/firmware/cycles.sh"
bench_pictures

# The decoder alone: code and data in flash, static RAM, and its state.
printf '#include "grayframe_decode.h"\ngrayframe_decoder state;\n' >"$work/state.c"
avr-gcc -mmcu=atmega328p -Os -std=c99 -c "$decoder" -o "$work/avr-c.o"
avr-gcc -mmcu=atmega328p -c "$loops" -o "$work/avr-loops.o"
avr-ld -r "$work/avr-c.o" "$work/avr-loops.o" -o "$work/avr.o"
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

# TOOL FLAGS...: the flash (text and data) of one_mode.c and the decoder, linked with
# --gc-sections by TOOL-gcc with FLAGS.
one_mode() {
    local tool=$1
    shift
    "$tool-gcc" -Os -std=c99 "$@" -I"$source/firmware" -ffunction-sections -fdata-sections \
        -Wl,--gc-sections "$here/firmware/one_mode.c" "$decoder" "$loops" -o "$work/one.elf"
    "$tool-size" "$work/one.elf" | awk 'END { print $1 + $2 }'
}
# TOOL FLAGS...: what a firmware that takes frames one way links of the decoder, less
# one that decodes nothing: "rows spans whole" in bytes.
linked() {
    local way nothing sizes=()
    nothing=$(one_mode "$@")
    for way in TAKE_ROWS TAKE_SPANS TAKE_WHOLE; do
        sizes+=($(($(one_mode "$@" -D$way) - nothing)))
    done
    echo "${sizes[*]}"
}
# On AVR the ATmega1284P, whose RAM holds a whole frame, read as near: the 328P's core.
avr=(avr -mmcu=atmega1284p -DGRAYFRAME_NEAR_FLASH)
read -r avr_rows avr_spans avr_whole < <(linked "${avr[@]}")
read -r small_rows small_spans small_whole < <(linked "${avr[@]}" -DGRAYFRAME_SMALL)
read -r m0_rows m0_spans m0_whole < <(linked arm-none-eabi -mcpu=cortex-m0 -mthumb \
    -nostartfiles -Wl,-e,main)
avr-gcc -mmcu=atmega328p -Os -std=c99 -DGRAYFRAME_SMALL -c "$decoder" -o "$work/small-c.o"
avr-gcc -mmcu=atmega328p -DGRAYFRAME_SMALL -c "$loops" -o "$work/small-loops.o"
avr-ld -r "$work/small-c.o" "$work/small-loops.o" -o "$work/small.o"
read -r small_flash _ < <(sizes avr "$work/small.o" "$work/avr-state.o")

# KIND: "mean / most" of the cycles of that kind read on standard input.
summary() {
    awk -v kind="$1" '$1 == kind { n++; sum += $2; if ($2 > most) most = $2 }
        END { if (n) printf "%d / %d", sum / n, most; else printf "-" }'
}
{
    echo "## The firmware decoder on its targets ($(date -u +%Y-%m-%d))"
    echo
    echo "grayframe_decode.c at -Os (on AVR with grayframe_decode_avr.S): flash (code and"
    echo "constants), static RAM, and the"
    echo "decoder's state (one grayframe_decoder, the only RAM it uses besides the"
    echo "caller's buffer and a few bytes of stack)."
    echo
    echo "| target | flash | static RAM | state |"
    echo "|---|---:|---:|---:|"
    echo "| ATmega328P (avr-gcc $(avr-gcc -dumpversion)) | $avr_flash | $avr_ram | $avr_state |"
    echo "| ATmega328P, GRAYFRAME_SMALL | $small_flash | $avr_ram | $avr_state |"
    echo "| Cortex-M0 (arm-none-eabi-gcc $(arm-none-eabi-gcc -dumpversion)) | $m0_flash | $m0_ram | $m0_state |"
    echo
    echo "What a firmware that takes frames one way links of it (--gc-sections; the"
    echo "firmware's size less that of one that decodes nothing; AVR: the ATmega1284P,"
    echo "near, as the 328P reads):"
    echo
    echo "| target | rows | spans | whole |"
    echo "|---|---:|---:|---:|"
    echo "| AVR | $avr_rows | $avr_spans | $avr_whole |"
    echo "| AVR, GRAYFRAME_SMALL | $small_rows | $small_spans | $small_whole |"
    echo "| Cortex-M0 | $m0_rows | $m0_spans | $m0_whole |"
    echo
    echo "CPU cycles per frame under simavr, mean / most, the set in program memory"
    echo "opened by NAME_open: rows and spans on the ATmega328P; whole frames on the"
    echo "ATmega1284P (the 328P's core with RAM for a frame; the set, below 64 KiB, read"
    echo "as on the 328P: GRAYFRAME_NEAR_FLASH), applied to the frame before (whole) and"
    echo "from nothing (alone); rows and whole again with GRAYFRAME_SMALL (C loops only)."
    echo
    echo "| set | frames | rows (328P) | spans (328P) | whole (1284P) | alone (1284P) |" \
        "small: rows (1284P) | small: whole (1284P) |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|"
    for entry in $BENCH_SETS; do
        group=${entry%:*} mode=${entry#*:}
        rows=$(frame_cycles "$group" "$mode" atmega328p "")
        whole=$(frame_cycles "$group" "$mode" atmega1284p "" -DWHOLE_FRAMES \
            -DGRAYFRAME_NEAR_FLASH)
        small=$(frame_cycles "$group" "$mode" atmega1284p -small -DWHOLE_FRAMES \
            -DGRAYFRAME_NEAR_FLASH -DGRAYFRAME_SMALL)
        count=$(grep -c '^rows' <<<"$rows")
        echo "| $group | $count | $(summary rows <<<"$rows") | $(summary spans <<<"$rows") |" \
            "$(summary whole <<<"$whole") | $(summary alone <<<"$whole") |" \
            "$(summary rows <<<"$small") | $(summary whole <<<"$small") |"
    done
    echo
    echo "GRAYFRAME_SMALL against the default decoder, the same frame on the ATmega1284P,"
    echo "least and most of the sets above:"
    echo
    echo "| rows | spans | whole | alone |"
    echo "|---:|---:|---:|---:|"
    for kind in rows spans whole alone; do
        for entry in $BENCH_SETS; do
            paste -d' ' <(grep "^$kind " "$work/${entry%:*}-atmega1284p/cycles.txt") \
                <(grep "^$kind " "$work/${entry%:*}-atmega1284p-small/cycles.txt")
        done | awk '{ r = $4 / $2; if (!n++ || r < least) least = r; if (r > most) most = r }
            END { printf "| %.2f–%.2f × ", least, most }'
    done
    echo "|"
} | tee "$work/../firmware.md"
