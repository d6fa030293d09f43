#!/bin/sh
# Prints grayframe's peak resident memory on a 6000 x 4000 JPEG in each mode, above
# its baseline with no input, against the decoded colour plus gray image (96 MB).
# Usage: scripts/memory-bench.sh [BUILD_DIR]   (needs grayframe and tests/make_picture)
set -eu
build=${1:-build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$build/tests/make_picture" 6000 4000 "$dir/big.jpg"

peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }

base=$(peak "$build/grayframe")
echo "baseline, no input: $base KiB"
for mode in fitin fitout stretch; do
    kib=$(peak "$build/grayframe" -printdata -resizemode "$mode" -i "$dir/big.jpg")
    awk -v mode="$mode" -v kib="$kib" -v base="$base" 'BEGIN {
        above = (kib - base) * 1024
        printf "%-8s peak %d KiB: %.1f MB above baseline, %.2f x colour + gray\n",
               mode, kib, above / 1e6, above / 96e6 }'
done
