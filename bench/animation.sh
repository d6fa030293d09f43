#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Benchmarks grayframe-embed on a clip of 1,000 frames (640 x 480, H.264, made here with
# ffmpeg): the set made on one core and on two (taskset), the peak memory of the largest
# process, and 250 frames beside 1,000 to show that memory does not grow with the
# count; ffmpeg decoding the clip alone on one core and on two (its frame threads), for
# comparison; then the start of grayframe-embed on a PNG, against
# BEFORE=PROGRAM (another build's grayframe-embed) when given. Each figure is the median
# of RUNS runs (default 5); the load average before them says how quiet the machine
# was. Prints a Markdown report.
# Usage: bench/animation.sh WORK_DIR GRAYFRAME_EMBED (a built or unpacked program, its
# animation helper where it finds it)
set -euo pipefail

work=$(mkdir -p "$1" && cd "$1" && pwd)
embed=$(realpath "$2")
clip=$work/clip-1000.mp4
short=$work/clip-250.mp4
[ -f "$clip" ] || ffmpeg -v error -f lavfi -i testsrc2=size=640x480:rate=25 -frames:v 1000 \
    -c:v libx264 -pix_fmt yuv420p "$clip"
[ -f "$short" ] || ffmpeg -v error -i "$clip" -frames:v 250 -c copy "$short"
[ -f "$work/still.png" ] || ffmpeg -v error -i "$clip" -frames:v 1 "$work/still.png"
cd "$work"

runs=${RUNS:-5}
# Median of the runs: "wall seconds, peak KiB, CPU seconds" of COMMAND under CPUS.
run() {
    local cpus=$1
    shift
    for _ in $(seq "$runs"); do
        /usr/bin/time -f "%e %M %U %S" -o time.txt taskset -c "$cpus" "$@" >/dev/null
        awk '{ print $1, $2, $3 + $4 }' time.txt
    done | sort -n | sed -n "$(((runs + 1) / 2))p"
}

load=$(cut -d' ' -f1-3 /proc/loadavg)
one=$(run 0 "$embed" --name clip "$clip")
two=$(run 0,1 "$embed" --name clip "$clip")
quarter=$(run 0,1 "$embed" --name clip "$short")
read -r one_s one_kb one_cpu <<<"$one"
read -r two_s two_kb two_cpu <<<"$two"
read -r quarter_s quarter_kb quarter_cpu <<<"$quarter"
read -r decode_one _ decode_one_cpu <<<"$(run 0 ffmpeg -v error -i "$clip" -f null -)"
read -r decode_two _ decode_two_cpu <<<"$(run 0,1 ffmpeg -v error -i "$clip" -f null -)"
echo "## grayframe-embed on a 1,000-frame clip (640 x 480, H.264)"
echo
echo "| run | wall time | CPU time (grayframe-embed) | peak memory (largest process) |"
echo "|---|---|---|---|"
echo "| 1,000 frames, 1 core | ${one_s} s | ${one_cpu} s | $((one_kb / 1024)) MiB |"
echo "| 1,000 frames, 2 cores | ${two_s} s | ${two_cpu} s | $((two_kb / 1024)) MiB |"
echo "| 250 frames, 2 cores | ${quarter_s} s | ${quarter_cpu} s | $((quarter_kb / 1024)) MiB |"
echo "| ffmpeg decoding alone, 1 core | ${decode_one} s | ${decode_one_cpu} s | |"
echo "| ffmpeg decoding alone, 2 cores | ${decode_two} s | ${decode_two_cpu} s | |"
echo
echo "2 cores against 1: $(awk -v a="$two_s" -v b="$one_s" 'BEGIN { printf "%.2f", a / b }') x" \
    "(target: at most 0.6 x); medians of $runs runs, load average before them: $load"
echo
echo "## grayframe-embed starting on one PNG"
echo
commands=(-n after "$embed --name still still.png")
[ -n "${BEFORE:-}" ] && commands+=(-n before "$BEFORE --name still still.png")
hyperfine -N --warmup 5 --runs 40 --style none --export-markdown start.md "${commands[@]}" \
    >/dev/null
cat start.md
