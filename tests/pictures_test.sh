#!/bin/sh
# The README's pictures must be what scripts/make-pictures.sh makes from the current
# program, and every picture the README shows must exist. The page's screenshot
# (web-page.png) depends on the browser's fonts: it is only required to exist.
# Usage: pictures_test.sh GRAYFRAME DOCS_PICTURES SOURCE_DIR EMBED
set -eu
grayframe=$1 tool=$2 source=$3 embed=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

sh "$source/scripts/make-pictures.sh" "$grayframe" "$tool" \
    "$scratch/pictures" "$scratch/work" "$embed"
diff -r -x web-page.png "$scratch/pictures" "$source/docs/pictures" ||
    { echo "FAIL: docs/pictures is out of date: run make pictures" >&2; exit 1; }
for picture in $(grep -o 'docs/pictures/[a-z-]*\.png' "$source/README.md"); do
    [ -f "$source/$picture" ] ||
        { echo "FAIL: README shows missing $picture" >&2; exit 1; }
done
