#!/bin/bash
# The Arduino library's PanelAnimation, installed from its zip and built for an Uno with
# Debian's arduino-builder, by rows and by spans (PANEL_SPANS=1), played twice round
# under simavr on a model of its panel (tests/panel/): after each frame the panel must
# show exactly that frame of grayframe -printdata of the same pictures, in the middle
# of the panel (column bytes 6 to 56, rows 24 to 103), and black everywhere else; and
# the spans must take fewer bytes on the bus than the rows. Exits 77 (skipped) without
# the harness (libsimavr), arduino-builder or Debian's AVR core.
# Usage: panel_animation_test.sh ZIP SOURCE_DIR BUILD_DIR PANEL_HARNESS
set -euo pipefail
zip=$1 source=$2 build=$3 harness=$4
hardware=/usr/share/arduino/hardware
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[ -n "$harness" ] ||
    { echo "SKIPPED: libsimavr is not installed (make test-deps installs it)"; exit 77; }
for tool in arduino-builder "$hardware/arduino/avr/platform.txt"; do
    [ -e "$tool" ] || command -v "$tool" >/dev/null ||
        { echo "SKIPPED: $tool is not installed (make test-deps installs it)"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
libraries=$scratch/libraries
mkdir -p "$libraries" "$scratch/cache"
(cd "$libraries" && cmake -E tar xf "$zip") || fail "$zip does not unpack"

inputs=()
for picture in "$source"/examples/avr-animation/ball-*.png; do inputs+=(-i "$picture"); done
"$build/grayframe" -resizemode stretch -printdata "${inputs[@]}" >"$scratch/frames.raw"
frames=$(($(wc -c <"$scratch/frames.raw") / 4080))

for spans in 0 1; do
    out=$scratch/build-$spans
    mkdir -p "$out"
    arduino-builder -compile -hardware "$hardware" -tools "$hardware/tools" \
        -libraries "$libraries" -fqbn arduino:avr:uno -build-path "$out" \
        -build-cache "$scratch/cache" \
        -prefs="compiler.cpp.extra_flags=-DDECIMAL_DIG=17 -DPANEL_SPANS=$spans" \
        "$libraries/Grayframe/examples/PanelAnimation/PanelAnimation.ino" \
        >"$out.log" 2>&1 || { cat "$out.log"; fail "PanelAnimation does not build"; }
    "$harness" "$out/PanelAnimation.ino.elf" "$scratch/frames.raw" 6 24 $((2 * frames)) \
        >"$out.run" 2>&1 || { cat "$out.run"; fail "PANEL_SPANS=$spans"; }
    bytes[$spans]=$(sed -n 's/.* frames shown as expected, \([0-9]*\) bytes on the bus$/\1/p' \
        "$out.run")
done
echo "bytes on the bus over $((2 * frames)) frames: ${bytes[0]} by rows, ${bytes[1]} by spans"
[ "${bytes[1]}" -lt "${bytes[0]}" ] || fail "the spans take no fewer bytes than the rows"
echo "panel animation test passed"
