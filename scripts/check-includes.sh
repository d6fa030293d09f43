#!/bin/sh
# Fails when a project include runs against the tree's direction: frame includes nothing
# of the project, packed only frame, and no stage includes a program folder.
set -eu
cd "$(dirname "$0")/../src"
programs='grayframe|embed|decode|preview|animation'
bad=$(
    grep -rnE '#include "[a-z_]+/' frame packed input animated output batch platform |
        awk -F: -v programs="$programs" '{
            split($1, path, "/"); folder = path[1]
            match($3, /"[a-z_]+\//); target = substr($3, RSTART + 1, RLENGTH - 2)
            if (target == folder) next
            if (folder == "frame") { print; next }
            if (folder == "packed" && target != "frame") { print; next }
            if (target ~ "^(" programs ")$" || target == "batch" && folder != "batch") print
        }'
)
[ -z "$bad" ] || { echo "includes against the tree's direction:" >&2; echo "$bad" >&2; exit 1; }
