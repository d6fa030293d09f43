#!/bin/sh
# Prints grayframe's peak resident memory on a 6000 x 4000 JPEG in each mode, and on a
# batch of eight of them (loaded two at a time at most), above its baseline with no
# input, against the decoded colour plus gray image of one (96 MB).
# Usage: scripts/memory-bench.sh [BUILD_DIR]   (needs grayframe and tests/make_picture)
set -eu
build=${1:-build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$build/tests/make_picture" 6000 4000 "$dir/big.jpg"
batch=
for i in 1 2 3 4 5 6 7 8; do
    cp "$dir/big.jpg" "$dir/big$i.jpg"
    batch="$batch -i $dir/big$i.jpg"
done

peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }

show() {
    awk -v what="$1" -v kib="$2" -v base="$base" 'BEGIN {
        above = (kib - base) * 1024
        printf "%-8s peak %d KiB: %.1f MB above baseline, %.2f x colour + gray\n",
               what, kib, above / 1e6, above / 96e6 }'
}

base=$(peak "$build/grayframe")
echo "baseline, no input: $base KiB"
for mode in fitin fitout stretch; do
    show "$mode" "$(peak "$build/grayframe" -printdata -resizemode "$mode" -i "$dir/big.jpg")"
done
# shellcheck disable=SC2086 # the batch's arguments, paths without blanks
show "eight" "$(peak "$build/grayframe" -printdata $batch)"
