#!/bin/bash
# Times a batch of 100 thumbnails that writes its outputs fresh against the same batch
# overwriting earlier outputs: outputs with other bytes (replaced) and outputs with the
# same bytes (a run made again). Prints a Markdown table.
# Usage: bench/overwrite.sh WORK_DIR BATCH_LIST LABEL=GRAYFRAME...
set -euo pipefail

work=$(mkdir -p "$1" && cd "$1" && pwd)/overwrite
list=$2
shift 2
rm -rf "$work"
mkdir -p "$work/in" "$work/other"
args=()
while read -r picture; do
    name=p${#args[@]}.${picture##*.}
    cp "$picture" "$work/in/$name"
    args+=(-i "$name")
done < <(head -n 100 "$list")

# Seconds, the median of 10 runs of grayframe ($1) on the batch after $2 has run.
timed() {
    hyperfine --style none --warmup 1 --runs 10 --prepare "$2" \
        --export-csv "$work/run.csv" "cd $work/in && $1 ${args[*]}" >/dev/null
    awk -F, 'NR == 2 { printf "%.1f ms", $4 * 1000 }' "$work/run.csv"
}

echo "### 100 thumbnails with files: fresh outputs against overwritten ones (median of 10)"
echo
echo "| build | fresh | other bytes replaced | same bytes again |"
echo "|---|---:|---:|---:|"
for build in "$@"; do
    program=${build#*=}
    (cd "$work/in" && "$program" -resizemode stretch "${args[@]}" && mv ./*_out.* ../other/)
    fresh=$(timed "$program" "sh -c 'rm -f $work/in/*_out.*'")
    other=$(timed "$program" "sh -c 'cp $work/other/* $work/in/'")
    same=$(timed "$program" "true")
    echo "| ${build%%=*} | $fresh | $other | $same |"
done
