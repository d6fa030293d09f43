#!/bin/bash
# The cycles a frame of a --target avr set may take, held under simavr: every frame of
# the bench's sets (bench/firmware/cycles.sh), decoded row by row on an ATmega328P and
# whole over the frame before (the first from nothing) on an ATmega1284P, must take at
# most 32,000 cycles, and at most what the encoder's model says (model_cycles; whole
# only for raw and key frames, which the model weighs whole). Exits 77 (skipped) when
# avr-gcc, avr-libc or simavr is not installed.
# Usage: firmware_cycles_test.sh BUILD_DIR SOURCE_DIR MODEL_CYCLES   (BUILD_DIR holds
# grayframe-embed and frame_set_pictures)
set -euo pipefail
build=$(cd "$1" && pwd) source=$(cd "$2" && pwd) model_cycles=$3
for tool in avr-gcc avr-nm avr-objdump avr-objcopy simavr /usr/lib/avr/include/avr/io.h; do
    [ -e $tool ] || command -v $tool >/dev/null ||
        { echo "SKIPPED: $tool is not installed (make test-deps installs it)"; exit 77; }
done
budget=32000
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND exited $?" >&2' ERR
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$source/bench/firmware/cycles.sh"
bench_pictures

# DIR: the set's bytes as the cycle firmware in DIR holds them (frames_code), in
# DIR/frames.set.
set_bytes() {
    local elf=$1/cycles.elf address size section start
    read -r address size < <(avr-nm -S "$elf" | awk '$4 == "frames_code" { print $1, $2 }')
    section=$(avr-objdump -t "$elf" | awk '$NF == "frames_code" { print $(NF - 2) }')
    start=$(avr-objdump -h "$elf" | awk -v s="$section" '$2 == s { print $4 }')
    avr-objcopy -O binary -j "$section" "$elf" "$1/section.bin"
    tail -c +$((16#$address - 16#$start + 1)) "$1/section.bin" | head -c $((16#$size)) \
        >"$1/frames.set"
}

frames=0 status=0
for entry in $BENCH_SETS; do
    group=${entry%:*} mode=${entry#*:}
    frame_cycles "$group" "$mode" atmega328p "" >/dev/null
    frame_cycles "$group" "$mode" atmega1284p "" -DWHOLE_FRAMES -DGRAYFRAME_NEAR_FLASH \
        >/dev/null
    set_bytes "$work/$group-atmega328p"
    "$model_cycles" "$work/$group-atmega328p/frames.set" >"$work/$group.model"
    count=$(wc -l <"$work/$group.model")
    # The model's lines, then the measured: frame k's rows on the 328P, its whole on the
    # 1284P.
    awk -v group="$group" -v budget=$budget -v count="$count" '
        FILENAME ~ /model$/ { rows[FNR] = $1; whole[FNR] = $2; next }
        FNR == 1 { part = FILENAME ~ /1284p/ ? "whole" : "rows"; k = 0 }
        $1 != part { next }
        {
            ++k
            most = part == "rows" ? rows[k] : whole[k]
            if ($2 > budget || (most != "-" && $2 > most)) {
                printf "FAIL: %s frame %d %s: %d cycles, the model %s, the budget %d\n",
                    group, k - 1, part, $2, most, budget
                failed = 1
            }
            seen[part]++
        }
        END {
            if (seen["rows"] != count || seen["whole"] != count) {
                printf "FAIL: %s: %d frames, %d rows and %d whole measured\n", group,
                    count, seen["rows"], seen["whole"]
                failed = 1
            }
            exit failed
        }' "$work/$group.model" "$work/$group-atmega328p/cycles.txt" \
        "$work/$group-atmega1284p/cycles.txt" || status=1
    frames=$((frames + count))
done
[ $status = 0 ] || exit 1
echo "firmware cycles test passed: $frames frames within $budget cycles and the model"
