#!/bin/bash
# Benchmarks grayframe builds side by side against decoding alone and ImageMagick's
# convert, and prints a Markdown report (also kept as WORK_DIR/report.md).
# Usage: bench/run.sh WORK_DIR LABEL=BUILD_DIR[=PROGRAM]...   (each build dir holds
# grayframe, decode_only and stages, the first one also bench_pictures; PROGRAM, when
# given, is the grayframe measured instead of the build dir's, e.g. an unpacked package's)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
work=$(mkdir -p "$1" && cd "$1" && pwd)
shift
labels=()
dirs=()
programs=()
for build in "$@"; do
    labels+=("${build%%=*}")
    build=${build#*=}
    dirs+=("$(cd "${build%%=*}" && pwd)")
    case "$build" in
        *=*) programs+=("$(realpath "${build#*=}")") ;;
        *) programs+=("${dirs[-1]}/grayframe") ;;
    esac
done
magick=/usr/bin/convert-im6.q16
pictures=$work/pictures
list=$pictures/batch.txt
mixed=$pictures/mixed.txt
[ -f "$mixed" ] && [ -f "$pictures/photo.jp2" ] || "${dirs[0]}/bench_pictures" "$pictures"
big=$pictures/big.jpg
to_raw=(-colorspace Gray -resize 102x80 -background black -gravity center
        -extent 102x80 -depth 4)

# Runs hyperfine ROUNDS times over the commands (-n NAME COMMAND ...), so that a
# busy moment of the machine hits all of them alike, and keeps per command the
# median over the rounds of the wall time and of the CPU time (user + system), in
# WORK_DIR/NAME.csv as "command,wall seconds,cpu seconds".
measure() {
    local name=$1 rounds=$2 runs=$3 warmup=$4 round
    shift 4
    rm -f "$work/$name".round*.csv
    for round in $(seq "$rounds"); do
        echo "$name: round $round of $rounds" >&2
        hyperfine -N --style none --warmup "$warmup" --runs "$runs" \
            --export-csv "$work/$name.round$round.csv" "$@" >/dev/null
    done
    local rows
    rows=$(awk -F, 'FNR > 1 { print $1 "," $4 "," $5 + $6 }' "$work/$name".round*.csv)
    LC_ALL=C join -t, <(LC_ALL=C sort -t, -k1,1 -k2,2g <<<"$rows" | middle 2) \
        <(LC_ALL=C sort -t, -k1,1 -k3,3g <<<"$rows" | middle 3) >"$work/$name.csv"
}

# Reads "command,wall,cpu" lines sorted by command and then by column $1; prints
# "command,median of that column" per command, sorted.
middle() {
    awk -F, -v c="$1" '{ n[$1]++; v[$1, n[$1]] = $c }
        END { for (k in n) print k "," v[k, int((n[k] + 1) / 2)] }' | LC_ALL=C sort -t, -k1,1
}

# Wall seconds (with a third argument, CPU seconds) of the command named $2 in the
# file $1 written by measure.
seconds() {
    awk -F, -v name="$2" -v column=$((${3:+1} + 2)) '$1 == name { print $column }' "$1"
}
ms() { awk -v s="$1" 'BEGIN { printf "%.1f", s * 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f x", a / b }'; }

single_calls() {
    local commands=() i picture
    for picture in photo drawing; do
        local file=$pictures/$picture.png
        for i in "${!dirs[@]}"; do
            commands+=(-n "$picture ${labels[i]} raw" "${programs[i]} -printdata -i $file"
                       -n "$picture ${labels[i]} files" "${programs[i]} -i $file"
                       -n "$picture ${labels[i]} decode" "${dirs[i]}/decode_only $file")
        done
        commands+=(-n "$picture convert raw" "$magick $file ${to_raw[*]} gray:-"
                   -n "$picture convert files"
                   "$magick $file ${to_raw[*]} -write $work/$picture.bmp gray:$work/$picture.raw")
    done
    measure single 5 10 2 "${commands[@]}"
}

# One call on the photo as OpenEXR and as JPEG 2000, formats that the decode helper reads.
helper_calls() {
    local commands=() i format
    for format in exr jp2; do
        for i in "${!dirs[@]}"; do
            commands+=(-n "$format ${labels[i]}"
                       "${programs[i]} -printdata -i $pictures/photo.$format")
        done
    done
    measure helper 5 10 2 "${commands[@]}"
}

batch() {
    local commands=() loops=() i args=() files=()
    mapfile -t files <"$list"
    for i in "${files[@]}"; do args+=(-i "$i"); done
    # Every second file each: what two processors give when the machine lets us have them.
    local odd=() even=()
    for i in "${!files[@]}"; do
        if ((i % 2)); then odd+=("${files[i]}"); else even+=("${files[i]}"); fi
    done
    for i in "${!dirs[@]}"; do
        commands+=(-n "${labels[i]} one call" "${programs[i]} -printdata ${args[*]}"
                   -n "${labels[i]} one core" "taskset -c 0 ${programs[i]} -printdata ${args[*]}"
                   -n "${labels[i]} decode" "${dirs[i]}/decode_only ${files[*]}"
                   -n "${labels[i]} two decoders"
                   "sh -c '${dirs[i]}/decode_only ${odd[*]} & ${dirs[i]}/decode_only ${even[*]}; wait'")
        loops+=(-n "${labels[i]} each" "sh $here/each.sh grayframe ${programs[i]} $list")
    done
    loops+=(-n "convert each" "sh $here/each.sh convert $magick $list")
    measure batch 5 1 1 "${commands[@]}"
    measure loops 1 1 0 "${loops[@]}"
}

# The mixed set: sizes far apart in a shuffled order, as a folder of photographs and
# drawings comes. Its halves (the first and the second) hold about the same pictures.
mixed_batch() {
    local commands=() i args=() files=() first=() second=()
    mapfile -t files <"$mixed"
    for i in "${files[@]}"; do args+=(-i "$i"); done
    first=("${files[@]:0:${#files[@]}/2}")
    second=("${files[@]:${#files[@]}/2}")
    for i in "${!dirs[@]}"; do
        commands+=(-n "${labels[i]} one call" "${programs[i]} -printdata ${args[*]}"
                   -n "${labels[i]} one core" "taskset -c 0 ${programs[i]} -printdata ${args[*]}"
                   -n "${labels[i]} decode" "${dirs[i]}/decode_only ${files[*]}"
                   -n "${labels[i]} two decoders"
                   "sh -c '${dirs[i]}/decode_only ${first[*]} & ${dirs[i]}/decode_only ${second[*]}; wait'")
    done
    measure mixed 5 1 1 "${commands[@]}"
}

# Peak resident KiB of a command.
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }

report_single() {
    local csv=$work/single.csv i picture raw files convert_raw convert_files
    echo "### One call on a 512 x 512 PNG (median of 5 rounds of 10 runs)"
    echo
    echo "| picture | build | raw stream | vs convert | files | vs convert | decoding alone |"
    echo "|---|---|---:|---:|---:|---:|---:|"
    for picture in photo drawing; do
        convert_raw=$(seconds "$csv" "$picture convert raw")
        convert_files=$(seconds "$csv" "$picture convert files")
        for i in "${!labels[@]}"; do
            raw=$(seconds "$csv" "$picture ${labels[i]} raw")
            files=$(seconds "$csv" "$picture ${labels[i]} files")
            echo "| $picture | ${labels[i]} | $(ms "$raw") ms | $(ratio "$raw" "$convert_raw") |" \
                 "$(ms "$files") ms | $(ratio "$files" "$convert_files") |" \
                 "$(ms "$(seconds "$csv" "$picture ${labels[i]} decode")") ms |"
        done
        echo "| $picture | convert | $(ms "$convert_raw") ms | 1.00 x |" \
             "$(ms "$convert_files") ms | 1.00 x | |"
    done
}

report_helper() {
    local i format same
    echo "### One call on the 512 x 512 photo as OpenEXR and JPEG 2000 (decode helper; median of 5 rounds of 10 runs)"
    echo
    echo "| format | build | raw stream | bytes |"
    echo "|---|---|---:|---|"
    for format in exr jp2; do
        "${programs[0]}" -printdata -i "$pictures/photo.$format" >"$work/photo.$format.raw"
        for i in "${!labels[@]}"; do
            same="same as ${labels[0]}"
            "${programs[i]}" -printdata -i "$pictures/photo.$format" |
                cmp -s - "$work/photo.$format.raw" || same="DIFFERENT from ${labels[0]}"
            [ -s "$work/photo.$format.raw" ] || same="NOT READ"
            echo "| $format | ${labels[i]} |" \
                 "$(ms "$(seconds "$work/helper.csv" "$format ${labels[i]}")") ms | $same |"
        done
    done
}

report_batch() {
    local csv=$work/batch.csv i one core decode each convert_each count
    count=$(wc -l <"$list")
    convert_each=$(seconds "$work/loops.csv" "convert each")
    echo "### A batch of $count pictures, 160 x 120 to 6000 x 4000 (median of 5 rounds; loops run once)"
    echo
    echo "On $(nproc) processors; \"one core\" is the same call under taskset -c 0; decoding"
    echo "alone runs on one thread; \"two decoders\" decode every second file each, side by"
    echo "side: the floor on two processors, as far as the machine grants them."
    echo
    echo "| build | one call | vs decoding alone | one core | vs decoding alone | CPU time vs decoding | decoding alone | two decoders | a call per picture | convert, a call per picture |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    for i in "${!labels[@]}"; do
        one=$(seconds "$csv" "${labels[i]} one call")
        core=$(seconds "$csv" "${labels[i]} one core")
        decode=$(seconds "$csv" "${labels[i]} decode")
        each=$(seconds "$work/loops.csv" "${labels[i]} each")
        echo "| ${labels[i]} | $(ms "$one") ms | $(ratio "$one" "$decode") |" \
             "$(ms "$core") ms | $(ratio "$core" "$decode") |" \
             "$(ratio "$(seconds "$csv" "${labels[i]} one call" cpu)" \
                      "$(seconds "$csv" "${labels[i]} decode" cpu)") |" \
             "$(ms "$decode") ms |" \
             "$(ms "$(seconds "$csv" "${labels[i]} two decoders")") ms ($(ratio \
                 "$(seconds "$csv" "${labels[i]} two decoders")" "$decode")) |" \
             "$(ms "$each") ms ($(ratio "$each" "$one")) |" \
             "$(ms "$convert_each") ms ($(ratio "$convert_each" "$one")) |"
    done
}

report_mixed() {
    local csv=$work/mixed.csv i one core decode two
    echo "### A mixed batch: 38 pictures of every size above, shuffled, five times over (median of 5 rounds)"
    echo
    echo "\"two decoders\" decode the first and the second half of the list side by side."
    echo
    echo "| build | one call | vs decoding alone | vs two decoders | one core | vs decoding alone | decoding alone | two decoders |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|"
    for i in "${!labels[@]}"; do
        one=$(seconds "$csv" "${labels[i]} one call")
        core=$(seconds "$csv" "${labels[i]} one core")
        decode=$(seconds "$csv" "${labels[i]} decode")
        two=$(seconds "$csv" "${labels[i]} two decoders")
        echo "| ${labels[i]} | $(ms "$one") ms | $(ratio "$one" "$decode") |" \
             "$(ratio "$one" "$two") | $(ms "$core") ms | $(ratio "$core" "$decode") |" \
             "$(ms "$decode") ms | $(ms "$two") ms ($(ratio "$two" "$decode")) |"
    done
}

report_memory() {
    local i base gray eight decode images thumb file batch=()
    thumb=$(head -n 1 "$list")
    images=$((6000 * 4000 * 4 / 1024))
    while read -r file; do batch+=(-i "$file"); done < <(tail -n 8 "$list")
    echo "### Peak memory on a 6000 x 4000 JPEG, and on the batch's eight of them"
    echo
    echo "Colour and gray images of one: $((images / 1024)) MiB; baseline: the same call on a 160 x 120 JPEG."
    echo
    echo "| build | baseline | grayframe | over baseline / images | eight | over baseline / images | decoding alone |"
    echo "|---|---:|---:|---:|---:|---:|---:|"
    for i in "${!dirs[@]}"; do
        base=$(peak "${programs[i]}" -printdata -i "$thumb")
        gray=$(peak "${programs[i]}" -printdata -i "$big")
        eight=$(peak "${programs[i]}" -printdata "${batch[@]}")
        decode=$(peak "${dirs[i]}/decode_only" "$big")
        echo "| ${labels[i]} | $((base / 1024)) MiB | $((gray / 1024)) MiB |" \
             "$(ratio $((gray - base)) "$images") | $((eight / 1024)) MiB |" \
             "$(ratio $((eight - base)) "$images") | $((decode / 1024)) MiB |"
    done
    echo "| convert | | $(($(peak "$magick" "$big" "${to_raw[@]}" gray:-) / 1024)) MiB | | | | |"
}

report_stages() {
    local i samples
    mapfile -t samples < <(awk 'NR == 1 || NR == 171 || NR == 251 || NR == 281 || NR == 293' "$list")
    echo "### Stages inside one call (median of 7 runs, fitin)"
    for i in "${!dirs[@]}"; do
        echo
        echo "${labels[i]}:"
        echo
        "${dirs[i]}/stages" 7 "$pictures/photo.png" "$pictures/drawing.png" "${samples[@]}" \
            2>&1 >/dev/null
    done
}

single_calls
helper_calls
batch
mixed_batch
{
    report_single
    echo
    report_helper
    echo
    report_batch
    echo
    report_mixed
    echo
    report_memory
    echo
    report_stages
} | tee "$work/report.md"
