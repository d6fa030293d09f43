#!/bin/sh
# One call per picture, as a build script's loop would do it; the raw frames go to
# standard output. Usage: each.sh grayframe|convert PROGRAM LIST
kind=$1
program=$2
while read -r picture; do
    case "$kind" in
        grayframe) "$program" -printdata -i "$picture" ;;
        convert) "$program" "$picture" -colorspace Gray -resize 102x80 -background black \
            -gravity center -extent 102x80 -depth 4 gray:- ;;
    esac
done <"$3"
