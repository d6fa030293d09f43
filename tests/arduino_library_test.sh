#!/bin/sh
# Installs the Arduino library as the IDE does, its zip unpacked into a scratch
# sketchbook's libraries folder, and checks it: one folder, Grayframe, whose
# library.properties fills in what the IDE needs, both descriptions giving the
# project's version, whose src/ holds every decoder source of firmware/ as it is,
# whose library.json is JSON; its examples compile with Debian's arduino-builder and
# AVR core, warning-free in our files: the panel example on an Uno by rows and on a
# Mega by spans, the serial example on an Uno; PANEL_SPANS given on the command line
# changes the panel example. Exits 77 (skipped) without arduino-builder or the AVR
# core.
# Usage: arduino_library_test.sh ZIP SOURCE_DIR VERSION
set -eu
zip=$1 source=$2 version=$3
hardware=/usr/share/arduino/hardware
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
for tool in arduino-builder "$hardware/arduino/avr/platform.txt"; do
    [ -e "$tool" ] || command -v "$tool" >/dev/null 2>&1 ||
        { echo "SKIPPED: $tool is not installed (make test-deps installs it)"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
libraries=$scratch/sketchbook/libraries
mkdir -p "$scratch/cores"
mkdir -p "$libraries"
(cd "$libraries" && cmake -E tar xf "$zip") || fail "$zip does not unpack"

[ "$(ls "$libraries")" = Grayframe ] || fail "the zip holds $(ls "$libraries"), not one folder Grayframe"
library=$libraries/Grayframe
for field in name=Grayframe "version=$version\$" author=. maintainer=. sentence=. \
    paragraph=. category=Display url=. 'architectures=\*' includes=grayframe_decode.h; do
    grep -q "^$field" "$library/library.properties" ||
        fail "library.properties has no line $field"
done
grep -q "\"version\": \"$version\"" "$library/library.json" ||
    fail "library.json does not give version $version"
if command -v python3 >/dev/null 2>&1; then
    python3 -m json.tool "$library/library.json" >/dev/null || fail "library.json is not JSON"
fi
for file in "$source"/firmware/*.[chS]; do
    cmp -s "$file" "$library/src/${file##*/}" || fail "src/ does not hold firmware/${file##*/}"
done
[ -f "$library/LICENSE" ] || fail "no LICENSE"

# Debian's AVR core needs DECIMAL_DIG, which Debian's avr-gcc leaves undefined in C++.
# The Uno's core is compiled once.
build() {
    sketch=$1 board=$2 flags=$3
    out=$scratch/build-$sketch-${board%%:*}
    mkdir -p "$out"
    arduino-builder -compile -hardware "$hardware" -tools "$hardware/tools" \
        -libraries "$libraries" -fqbn "arduino:avr:$board" -build-path "$out" \
        -build-cache "$scratch/cores" -warnings all \
        -prefs="compiler.cpp.extra_flags=-DDECIMAL_DIG=17 $flags" \
        "$library/examples/$sketch/$sketch.ino" >"$out.log" 2>&1 ||
        { cat "$out.log"; fail "$sketch does not build for $board"; }
    if grep "^$scratch.*warning:" "$out.log"; then
        fail "$sketch warns for $board"
    fi
    [ -s "$out/$sketch.ino.hex" ] || fail "$sketch made no firmware for $board"
}
build PanelAnimation uno ""
build PanelAnimation mega:cpu=atmega2560 -DPANEL_SPANS=1
build SerialFrames uno ""
# PANEL_SPANS given on the command line chooses the mode.
mv "$scratch/build-PanelAnimation-uno" "$scratch/rows"
build PanelAnimation uno -DPANEL_SPANS=1
! cmp -s "$scratch/rows/PanelAnimation.ino.hex" \
    "$scratch/build-PanelAnimation-uno/PanelAnimation.ino.hex" ||
    fail "-DPANEL_SPANS=1 makes the same firmware as rows"
