#!/bin/sh
# Installs a built tree into a scratch prefix, builds the firmwares of tests/firmware
# against it with a toolchain file, as a firmware project would, and runs them in an
# emulator: avr on an ATmega2560 under simavr (24 frames, so that part of the raw set
# and all of the compressed one lie past 64 KiB), arm on a Cortex-M3 (LM3S6965) under
# qemu-system-arm. The set goes out raw, and compressed in each way the decoder gives
# frames; the bytes must be grayframe -printdata of the same pictures, and a GIF's
# durations follow the raw set (on AVR read from program memory); on AVR the compressed
# set runs again on an ATmega1284P, below 64 KiB and read as near, and the example
# examples/avr-animation is built too and run on an ATmega328P. avr-damaged: damaged
# sets decoded on AVR stay within their buffers and decode alike with the assembler
# loops and with the C loops alone. Exits 77 (skipped) when the toolchain or the
# emulator is not installed.
# Usage: emulator_firmware_test.sh BUILD_DIR SOURCE_DIR avr|avr-damaged|arm
set -eu
build=$1 source=$2 board=$3
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
skip_without() {
    [ -e "$1" ] || command -v "$1" >/dev/null 2>&1 ||
        { echo "SKIPPED: $1 is not installed (make test-deps installs it)"; exit 77; }
}
case $board in
avr | avr-damaged)
    board=avr
    for tool in avr-gcc simavr /usr/lib/avr/include/avr/io.h convert; do skip_without $tool; done
    toolchain=avr-gcc.cmake part=atmega2560 copies=2
    ;;
arm)
    for tool in arm-none-eabi-gcc qemu-system-arm /usr/lib/arm-none-eabi/include/stdint.h \
        convert
    do skip_without $tool; done
    toolchain=arm-none-eabi.cmake part=cortex-m3 copies=1
    ;;
*) fail "no board '$board'" ;;
esac

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix tree=$scratch/build
cmake --install "$build" --prefix "$prefix" >/dev/null
package=$(dirname "$(find "$prefix" -name grayframeConfig.cmake)")

# Twelve pictures (twice for the ATmega2560), and what grayframe makes of them: every
# frame, then the last one again. The last rose comes again with a white square on it,
# which the compressed set codes as a delta frame over the rose's raw frame.
convert "$source/docs/pictures/rose-ordered.png" -fill white -draw "rectangle 150,90 161,101" \
    "$scratch/rose-square.png"
pictures="" inputs="" last=""
for copy in $(seq $copies); do
    for picture in "$source"/examples/cmake-firmware/*.png "$source"/examples/chart.png \
        "$source"/docs/pictures/[a-r]*.png "$scratch/rose-square.png" \
        "$source"/docs/pictures/[s-z]*.png; do
        pictures="$pictures${pictures:+;}$picture" inputs="$inputs -i $picture"
        last=$picture
    done
    [ "$copy" = 1 ] && once=$pictures once_inputs=$inputs
done
# shellcheck disable=SC2086
"$prefix/bin/grayframe" -printdata $inputs >"$scratch/frames.raw"
"$prefix/bin/grayframe" -printdata -i "$last" >"$scratch/last.raw"
cat "$scratch/frames.raw" "$scratch/last.raw" >"$scratch/expected.raw"
# Three frames of 120, 2500 and 6550 ms; on AVR a frame out of range reads as 0.
ball=$source/examples/avr-animation/ball
convert -delay 12 "$ball-0.png" -delay 250 "$ball-1.png" -delay 655 "$ball-2.png" \
    "$scratch/timed.gif"
durations=7800c4099619
[ "$board" = avr ] && durations=${durations}0000

# Damaged sets: a compressed set of two frames of the example's animation and three of
# the walk, with one to three bytes changed anywhere (often to a code that starts a row), a
# frame in every fourth set made a delta frame, and the first set cut at many lengths;
# decoded by the decoder with its assembler loops and with its C loops alone
# (GRAYFRAME_SMALL): rows and spans on an ATmega328P (40 sets), whole frames too on an
# ATmega1284P read as near (70 other sets), rows and spans on it read as far (70
# others). No write may leave the buffers, no call may hand back more than a frame
# holds, and both builds must give the same results and bytes, frame by frame.
damaged_sets() {
    damaged=$scratch/damaged
    mkdir -p "$damaged"
    walk=$source/examples/cmake-firmware/walk
    "$prefix/bin/grayframe-embed" --name small --compress --mode stretch \
        --output-dir "$damaged" "$source"/examples/avr-animation/ball-[01].png \
        "$walk-1.png" "$walk-2.png" "$walk-1.png"
    for config in atmega328p:OFF:OFF:40:7 atmega1284p:ON:ON:70:11 atmega1284p:OFF:OFF:70:13; do
        part=${config%%:*} rest=${config#*:}
        near=${rest%%:*} rest=${rest#*:}
        whole=${rest%%:*} rest=${rest#*:}
        sets=${rest%%:*} seed=${rest#*:}
        tree=$damaged/$part-$near
        mkdir -p "$tree"
        sed -n '/small_code\[/,/^};/p' "$damaged/small.c" | grep -o '0x[0-9a-f][0-9a-f]' |
            awk -v sets="$sets" -v seed="$seed" '
            function value(hex) {
                return 16 * index(digits, substr(hex, 3, 1)) + index(digits, substr(hex, 4, 1)) - 17
            }
            function next_seed() { seed = (seed * 1103515245 + 12345) % 2147483648 }
            { b[n++] = $1 }
            END {
                digits = "0123456789abcdef"
                split("bb bc bd be bf f0 f7 ff c0 c7 ef 60 7f 80 b2 3f", codes, " ")
                count = value(b[3]) + 256 * value(b[4])
                print "#include <avr/pgmspace.h>"
                for (s = 0; s < sets; s++) {
                    for (k = 0; k < n; k++) c[k] = b[k]
                    for (f = 0; f < (s == 0 ? 0 : 1 + s % 3); f++) {
                        next_seed()
                        at = seed % n
                        next_seed()
                        c[at] = f % 2 ? "0x" codes[1 + seed % 16] : sprintf("0x%02x", seed % 256)
                    }
                    if (s % 4 == 3) {
                        next_seed()
                        k = 5 + 3 * (1 + seed % (count - 1))
                        c[value(b[k]) + 256 * value(b[k + 1]) + 65536 * value(b[k + 2])] = "0x44"
                    }
                    printf "static const unsigned char set_%d[] PROGMEM = {", s
                    for (k = 0; k < n; k++) printf "%s%s", (k ? "," : ""), c[k]
                    print "};"
                }
                printf "#define DAMAGED_SETS %d\n", sets
                printf "static const unsigned char *const damaged_sets[] = {"
                for (s = 0; s < sets; s++) printf "%sset_%d", (s ? "," : ""), s
                print "};"
                printf "static const unsigned damaged_sizes[] = {"
                for (s = 0; s < sets; s++) printf "%s%d", (s ? "," : ""), n
                print "};"
            }' >"$tree/damaged_sets.h"
        cmake -S "$source/tests/firmware" -B "$tree" \
            -DCMAKE_TOOLCHAIN_FILE="$source/examples/toolchains/avr-gcc.cmake" \
            -DAVR_MCU="$part" -DNEAR_FLASH="$near" -Dgrayframe_DIR="$package" \
            -DFRAME_IMAGES="$last" -DTIMED_IMAGE="$scratch/timed.gif" \
            -DDAMAGED_SETS_DIR="$tree" -DDAMAGED_WHOLE_FRAMES="$whole" \
            >"$scratch/configure.log" 2>&1 || { cat "$scratch/configure.log"; fail "configure"; }
        cmake --build "$tree" --target damaged_sets damaged_sets_small \
            >"$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; fail "build damaged_sets"; }
        for firmware in damaged_sets damaged_sets_small; do
            timeout 300 simavr -m "$part" -f 16000000 "$tree/$firmware.elf" 2>&1 >/dev/null |
                sed 's/\x1b\[[0-9;]*m//g' >"$tree/$firmware.out"
            report=$(sed -n 's/^damaged \([0-9]*\)\.$/\1/p' "$tree/$firmware.out")
            [ "$report" = 0 ] ||
                fail "damaged sets, $firmware on the $part (near $near): ${report:-no end} faults"
            sed -n 's/^\([0-9a-f]*\)\.$/\1/p' "$tree/$firmware.out" >"$tree/$firmware.hex"
        done
        # A line a frame, in hex: the set (2 bytes, low first), the frame, then the
        # digests of the rows, the spans and the whole frames (4 bytes each).
        paste -d ' ' "$tree/damaged_sets.hex" "$tree/damaged_sets_small.hex" | awk '
            function byte(line, at) {
                return 16 * index(digits, substr(line, 2 * at + 1, 1)) \
                    + index(digits, substr(line, 2 * at + 2, 1)) - 17
            }
            BEGIN { digits = "0123456789abcdef" }
            $1 != $2 {
                way = "the lines"
                for (k = 0; k < 3 && length($1) == 30; ++k)
                    if (substr($1, 7 + 8 * k, 8) != substr($2, 7 + 8 * k, 8)) {
                        way = k == 0 ? "the rows" : k == 1 ? "the spans" : "whole frames"
                        break
                    }
                printf "set %d, frame %d: %s differ", byte($1, 0) + 256 * byte($1, 1),
                    byte($1, 2), way
                exit 1
            }' >"$tree/differ.txt" ||
            fail "damaged sets on the $part (near $near), assembler and C loops: $(cat "$tree/differ.txt")"
    done
}
if [ "$3" = avr-damaged ]; then
    damaged_sets
    echo "emulator firmware test ($3) passed"
    exit 0
fi

cmake -S "$source/tests/firmware" -B "$tree" \
    -DCMAKE_TOOLCHAIN_FILE="$source/examples/toolchains/$toolchain" \
    -DAVR_MCU="$part" -DARM_CPU="$part" \
    -Dgrayframe_DIR="$package" -DFRAME_IMAGES="$pictures" -DTIMED_IMAGE="$scratch/timed.gif" \
    >"$scratch/configure.log" 2>&1 ||
    { cat "$scratch/configure.log"; fail "configure"; }
cmake --build "$tree" >"$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; fail "build"; }

# Runs firmware NAME; its output, as bytes in hex, lands in NAME.hex.
run() {
    case $board in
    avr)
        # simavr prints each line the USART sends, coloured, its end as a '.'.
        timeout 120 simavr -m "$part" -f 16000000 "$tree/$1.elf" 2>&1 >/dev/null |
            sed 's/\x1b\[[0-9;]*m//g' | sed -n 's/^\([0-9a-f]*\)\.$/\1/p' |
            tr -d '\n' >"$scratch/$1.hex"
        ;;
    arm)
        timeout 120 qemu-system-arm -M lm3s6965evb -display none -monitor none \
            -serial "file:$scratch/$1.out" -semihosting-config enable=on,target=native \
            -kernel "$tree/$1.elf" 2>/dev/null || fail "$1 did not end well"
        od -An -v -tx1 "$scratch/$1.out" | tr -d ' \n' >"$scratch/$1.hex"
        ;;
    esac
}
hex() { od -An -v -tx1 "$1" | tr -d ' \n'; }

run raw_frames
{ hex "$scratch/expected.raw" && printf %s "$durations"; } | cmp -s - "$scratch/raw_frames.hex" ||
    fail "raw_frames sent other bytes than grayframe -printdata and the durations"
# Row by row, as spans, whole, and the last frame alone.
run compressed_frames
for _ in rows spans whole; do hex "$scratch/frames.raw"; done >"$scratch/expected.hex"
hex "$scratch/last.raw" >>"$scratch/expected.hex"
cmp -s "$scratch/expected.hex" "$scratch/compressed_frames.hex" ||
    fail "compressed_frames sent other bytes than grayframe -printdata"
if [ "$board" = avr ]; then
    avr-nm "$tree/raw_frames.elf" | grep -Eq '^000[1-3][0-9a-f]{4} t frame_' ||
        fail "no frame of the set lies past 64 KiB"
    avr-nm "$tree/raw_frames.elf" | grep -Eq '^000[1-3][0-9a-f]{4} t timing_durations$' ||
        fail "the durations do not lie past 64 KiB"
    avr-nm "$tree/compressed_frames.elf" | grep -Eq '^000[1-3][0-9a-f]{4} t frames_code$' ||
        fail "the compressed set does not lie past 64 KiB"
fi
# The compressed set of the twelve pictures on an ATmega1284P, below 64 KiB and read as
# near (GRAYFRAME_NEAR_FLASH): whole frames then take the assembler loop over a frame;
# then again with the C loops only (GRAYFRAME_SMALL).
if [ "$board" = avr ]; then
    # shellcheck disable=SC2086
    "$prefix/bin/grayframe" -printdata $once_inputs >"$scratch/once.raw"
    for _ in rows spans whole; do hex "$scratch/once.raw"; done >"$scratch/expected.hex"
    hex "$scratch/last.raw" >>"$scratch/expected.hex"
    for small in OFF ON; do
        cmake -S "$source/tests/firmware" -B "$scratch/near-$small" \
            -DCMAKE_TOOLCHAIN_FILE="$source/examples/toolchains/$toolchain" \
            -DAVR_MCU=atmega1284p -DNEAR_FLASH=ON -DSMALL=$small -Dgrayframe_DIR="$package" \
            -DFRAME_IMAGES="$once" -DTIMED_IMAGE="$scratch/timed.gif" \
            >"$scratch/configure.log" 2>&1 ||
            { cat "$scratch/configure.log"; fail "configure near"; }
        cmake --build "$scratch/near-$small" --target compressed_frames \
            >"$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; fail "build near"; }
        tree=$scratch/near-$small part=atmega1284p
        loop=OFF
        avr-nm "$tree/compressed_frames.elf" | grep -q grayframe_avr_row && loop=ON
        [ $loop != $small ] || fail "GRAYFRAME_SMALL $small, and the assembler loop linked: $loop"
        run compressed_frames
        cmp -s "$scratch/expected.hex" "$scratch/compressed_frames.hex" ||
            fail "compressed_frames (near, small $small) sent other bytes than grayframe -printdata"
    done
    tree=$scratch/build part=atmega2560
fi
# The example: an ATmega328P that plays a compressed animation row by row.
if [ "$board" = avr ]; then
    example=$source/examples/avr-animation
    cmake -S "$example" -B "$scratch/example" \
        -DCMAKE_TOOLCHAIN_FILE="$source/examples/toolchains/avr-gcc.cmake" \
        -Dgrayframe_DIR="$package" -DPLAY_ONCE=ON >"$scratch/configure.log" 2>&1 ||
        { cat "$scratch/configure.log"; fail "configure the example"; }
    cmake --build "$scratch/example" >"$scratch/build.log" 2>&1 ||
        { cat "$scratch/build.log"; fail "build the example"; }
    ! grep -q "warning" "$scratch/build.log" || { cat "$scratch/build.log"; fail "warnings"; }
    tree=$scratch/example part=atmega328p
    run play_animation
    # shellcheck disable=SC2046
    "$prefix/bin/grayframe" -resizemode stretch -printdata \
        $(for k in 0 1 2 3 4 5 6 7; do echo "-i $example/ball-$k.png"; done) \
        >"$scratch/ball.raw"
    hex "$scratch/ball.raw" | cmp -s - "$scratch/play_animation.hex" ||
        fail "the example played other bytes than grayframe -printdata"
fi
echo "emulator firmware test ($3) passed"
