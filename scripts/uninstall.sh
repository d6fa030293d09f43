#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Removes what the last make install put in place: the files listed in LIST (one path a
# line, the last one maybe unended, as make install recorded them under the prefix it
# used), then the folders of grayframe's own among theirs that are left empty, then
# LIST. The Debian package is not touched: apt removes it.
#   scripts/uninstall.sh LIST
set -eu
list=$1
if [ ! -f "$list" ]; then
    echo "nothing to uninstall: no make install from this clone is recorded in $list"
    exit 0
fi
count=0
while IFS= read -r file || [ -n "$file" ]; do
    [ -n "$file" ] || continue
    rm -f -- "$file"
    count=$((count + 1))
done <"$list"
# Each emptied folder of grayframe's own (a path naming it), and such folders above it.
while IFS= read -r file || [ -n "$file" ]; do
    dir=$(dirname -- "$file")
    while case $dir in *grayframe*) true ;; *) false ;; esac &&
        rmdir -- "$dir" 2>/dev/null; do
        dir=$(dirname -- "$dir")
    done
done <"$list"
rm -f -- "$list"
echo "removed the $count files of the last make install"
