# SPDX-License-Identifier: Apache-2.0
# Sourced by the scripts that build libraries once (minimal-opencv.sh,
# windows-libraries.sh). A finished build is kept outside the clone, in
#   ${GRAYFRAME_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/grayframe}/NAME-KEY
# where KEY is a hash of everything the build depends on (its script, the source
# package versions, the compiler and its flags): a later build with the same key, from
# any clone, reuses it; any change of those gives a new key and a new build. Old
# entries are left for the user to remove (rm -rf the cache folder).

cache_root=${GRAYFRAME_CACHE:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/grayframe}

# cached_prefix NAME LINK KEY_TEXT: sets prefix to the cache entry for KEY_TEXT, makes
# LINK a symbolic link to it, and holds a lock on the entry (descriptor 9) until the
# calling script ends, so that two builds of one key do not write it at once.
cached_prefix() {
    key=$(printf '%s\n' "$3" | sha256sum | cut -c 1-16)
    prefix=$cache_root/$1-$key
    mkdir -p "$prefix"
    exec 9>"$prefix.lock"
    flock 9
    printf '%s\n' "$3" >"$prefix.key"
    rm -rf "$2"
    mkdir -p "$(dirname "$2")"
    ln -s "$prefix" "$2"
}

# The hash of the named files' contents.
files_hash() {
    cat "$@" | sha256sum | cut -c 1-16
}
