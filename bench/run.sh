#!/bin/bash
# Benchmarks grayframe builds side by side against decoding alone and ImageMagick's
# convert, and prints a Markdown report (also kept as WORK_DIR/report.md).
# Usage: bench/run.sh WORK_DIR LABEL=BUILD_DIR...   (each build dir holds grayframe,
# decode_only and stages; the first one also make_pictures)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
work=$(mkdir -p "$1" && cd "$1" && pwd)
shift
labels=()
dirs=()
for build in "$@"; do
    labels+=("${build%%=*}")
    dirs+=("$(cd "${build#*=}" && pwd)")
done
convert=/usr/bin/convert-im6.q16
pictures=$work/pictures
list=$pictures/batch.txt
[ -f "$list" ] || "${dirs[0]}/make_pictures" "$pictures"
single=$pictures/single.png
big=$pictures/big.jpg
to_raw=(-colorspace Gray -resize 102x80 -background black -gravity center
        -extent 102x80 -depth 4)

# Median seconds of the command named $2 in hyperfine's CSV file $1.
median() { awk -F, -v name="$2" '$1 == name { print $4 }' "$1"; }
ms() { awk -v s="$1" 'BEGIN { printf "%.1f", s * 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f x", a / b }'; }

single_call() {
    local commands=() i
    for i in "${!dirs[@]}"; do
        commands+=(-n "${labels[i]} raw" "${dirs[i]}/grayframe -printdata -i $single"
                   -n "${labels[i]} files" "${dirs[i]}/grayframe -i $single"
                   -n "${labels[i]} decode" "${dirs[i]}/decode_only $single")
    done
    commands+=(-n "convert raw" "$convert $single ${to_raw[*]} gray:-"
               -n "convert files" "$convert $single ${to_raw[*]} -write $work/single.bmp gray:$work/single.raw")
    hyperfine -N --style basic --warmup 5 --min-runs 40 --export-csv "$work/single.csv" \
        "${commands[@]}" >&2
}

batch() {
    local commands=() i args=() files=()
    mapfile -t files <"$list"
    for i in "${files[@]}"; do args+=(-i "$i"); done
    for i in "${!dirs[@]}"; do
        commands+=(-n "${labels[i]} one call" "${dirs[i]}/grayframe -printdata ${args[*]}"
                   -n "${labels[i]} decode" "${dirs[i]}/decode_only ${files[*]}"
                   -n "${labels[i]} each" "sh $here/each.sh grayframe ${dirs[i]}/grayframe $list")
    done
    commands+=(-n "convert each" "sh $here/each.sh convert $convert $list")
    hyperfine -N --style basic --warmup 1 --runs 3 --export-csv "$work/batch.csv" \
        "${commands[@]}" >&2
}

# Peak resident KiB of a command.
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }

report_single() {
    local csv=$work/single.csv i raw files decode
    local convert_raw convert_files
    convert_raw=$(median "$csv" "convert raw")
    convert_files=$(median "$csv" "convert files")
    echo "### One call on a 512 x 512 PNG (median of >= 40 runs)"
    echo
    echo "| build | raw stream | vs convert | files | vs convert | decoding alone |"
    echo "|---|---:|---:|---:|---:|---:|"
    for i in "${!labels[@]}"; do
        raw=$(median "$csv" "${labels[i]} raw")
        files=$(median "$csv" "${labels[i]} files")
        decode=$(median "$csv" "${labels[i]} decode")
        echo "| ${labels[i]} | $(ms "$raw") ms | $(ratio "$raw" "$convert_raw") |" \
             "$(ms "$files") ms | $(ratio "$files" "$convert_files") | $(ms "$decode") ms |"
    done
    echo "| ImageMagick convert | $(ms "$convert_raw") ms | 1.00 x | $(ms "$convert_files") ms | 1.00 x | |"
}

report_batch() {
    local csv=$work/batch.csv i one decode each convert_each count
    count=$(wc -l <"$list")
    convert_each=$(median "$csv" "convert each")
    echo "### A batch of $count pictures, 160 x 120 to 6000 x 4000 (median of 3 runs)"
    echo
    echo "| build | one call | vs decoding alone | decoding alone | a call per picture | convert, a call per picture |"
    echo "|---|---:|---:|---:|---:|---:|"
    for i in "${!labels[@]}"; do
        one=$(median "$csv" "${labels[i]} one call")
        decode=$(median "$csv" "${labels[i]} decode")
        each=$(median "$csv" "${labels[i]} each")
        echo "| ${labels[i]} | $(ms "$one") ms | $(ratio "$one" "$decode") |" \
             "$(ms "$decode") ms | $(ms "$each") ms ($(ratio "$each" "$one")) |" \
             "$(ms "$convert_each") ms ($(ratio "$convert_each" "$one")) |"
    done
}

report_memory() {
    local i base gray decode convert images thumb
    thumb=$(head -n 1 "$list")
    images=$((6000 * 4000 * 4 / 1024))
    echo "### Peak memory on a 6000 x 4000 JPEG"
    echo
    echo "Colour and gray images: $((images / 1024)) MiB. Baseline: the same call on a 160 x 120 JPEG."
    echo
    echo "| build | baseline | grayframe | over baseline / images | decoding alone |"
    echo "|---|---:|---:|---:|---:|"
    for i in "${!dirs[@]}"; do
        base=$(peak "${dirs[i]}/grayframe" -printdata -i "$thumb")
        gray=$(peak "${dirs[i]}/grayframe" -printdata -i "$big")
        decode=$(peak "${dirs[i]}/decode_only" "$big")
        echo "| ${labels[i]} | $((base / 1024)) MiB | $((gray / 1024)) MiB |" \
             "$(ratio $((gray - base)) "$images") | $((decode / 1024)) MiB |"
    done
    convert=$(peak "$convert" "$big" "${to_raw[@]}" gray:-)
    echo "| ImageMagick convert | | $((convert / 1024)) MiB | | |"
}

report_stages() {
    local i batch_files
    mapfile -t batch_files < <(awk 'NR == 1 || NR == 171 || NR == 251 || NR == 281 || NR == 293' "$list")
    echo "### Stages inside one call (median of 7 runs, fitin)"
    for i in "${!dirs[@]}"; do
        echo
        echo "${labels[i]}:"
        echo
        "${dirs[i]}/stages" 7 "$single" "${batch_files[@]}" 2>&1 >/dev/null
    done
}

single_call
batch
{
    report_single
    echo
    report_batch
    echo
    report_memory
    echo
    report_stages
} | tee "$work/report.md"
