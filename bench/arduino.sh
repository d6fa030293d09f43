#!/bin/bash
# The Arduino library's examples as the IDE builds them (Debian's arduino-builder and
# AVR core, the library unpacked from its zip into a scratch sketchbook): flash and
# static RAM of each example on an Uno and a Mega (avr-size of the ELF: flash is text
# + data, RAM data + bss, the core's Serial buffers included), the panel example in
# both modes. Prints a Markdown table (also kept as WORK_DIR/arduino.md).
# Usage: bench/arduino.sh WORK_DIR ZIP
set -euo pipefail

work=$(mkdir -p "$1/arduino" && cd "$1/arduino" && pwd)
zip=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
hardware=/usr/share/arduino/hardware
rm -rf "${work:?}"/*
mkdir -p "$work/libraries" "$work/cores"
(cd "$work/libraries" && cmake -E tar xf "$zip")
examples=$work/libraries/Grayframe/examples

# SKETCH BOARD TAG FLAGS: "flash RAM" in bytes.
sizes() {
    local out=$work/build-$3-${2%%:*} text data bss
    mkdir -p "$out"
    arduino-builder -compile -hardware "$hardware" -tools "$hardware/tools" \
        -libraries "$work/libraries" -fqbn "arduino:avr:$2" -build-path "$out" \
        -build-cache "$work/cores" -prefs="compiler.cpp.extra_flags=-DDECIMAL_DIG=17 $4" \
        "$examples/$1/$1.ino" >"$out.log" 2>&1 || { cat "$out.log"; exit 1; }
    read -r text data bss _ < <(avr-size "$out/$1.ino.elf" | tail -1)
    echo "$((text + data)) $((data + bss))"
}
{
    echo "| example | Uno flash | Uno RAM | Mega flash | Mega RAM |"
    echo "|---|---:|---:|---:|---:|"
    for row in "PanelAnimation, rows:PanelAnimation:rows:-DPANEL_SPANS=0" \
        "PanelAnimation, spans:PanelAnimation:spans:-DPANEL_SPANS=1" \
        "SerialFrames:SerialFrames:serial:"; do
        IFS=: read -r label sketch tag flags <<<"$row"
        read -r uno_flash uno_ram < <(sizes "$sketch" uno "$tag" "$flags")
        read -r mega_flash mega_ram < <(sizes "$sketch" mega:cpu=atmega2560 "$tag" "$flags")
        printf '| %s | %d | %d | %d | %d |\n' "$label" "$uno_flash" "$uno_ram" \
            "$mega_flash" "$mega_ram"
    done
} | tee "$work/arduino.md"
