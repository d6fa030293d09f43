# SPDX-License-Identifier: Apache-2.0
# Sourced by the scripts that build libraries from Debian's source packages
# (windows-libraries.sh, web-libraries.sh), after they set work (their work folder)
# and sources (where the trees are unpacked). The system's apt configuration is left
# as it is: the package lists live in $work/apt.

. "$(dirname "$0")/apt-source-entries.sh"

# Fetches and unpacks the Debian source package $1 (of the binary package $2) into
# $sources, once; prints its tree.
# The package lists are fetched on the first call of a run.
fetch_source() {
    if [ ! -f "$sources/.complete-$1" ]; then
        apt_dir="$work/apt"
        if [ ! -f "$apt_dir/.updated-$$" ]; then
            rm -rf "$apt_dir"
            mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$sources"
            derive_source_entries "$apt_dir"
        fi
        package=$1
        binary=$2
        set -- -o "Dir::Etc::SourceList=$apt_dir/sources.list" \
            -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d" \
            -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" \
            -o "APT::Sandbox::User=root"
        if [ ! -f "$apt_dir/.updated-$$" ]; then
            apt-get "$@" -qq update >&2
            touch "$apt_dir/.updated-$$"
        fi
        # The version installed here first (what the Linux build runs on), then the
        # others known, newest first: a mirror may lack some.
        installed=$(dpkg-query -W -f='${source:Version}' "$binary" 2>/dev/null || true)
        known=$(apt-cache "$@" showsrc "$package" | sed -n 's/^Version: //p' |
            grep -vxF "${installed:-none}" | sort -ruV)
        for version in $installed $known; do
            (cd "$sources" && rm -rf "$package"-[0-9]* &&
                apt-get "$@" -qq source "$package=$version" >&2) &&
                touch "$sources/.complete-$package" && break
        done
        [ -f "$sources/.complete-$package" ] || exit 1
        set -- "$package"
    fi
    find "$sources" -mindepth 1 -maxdepth 1 -type d -name "$1-[0-9]*" | head -n 1
}

# The C sources giflib's Makefile in the tree $1 builds its library from.
giflib_sources() {
    printf 'list-sources:\n\t@echo $(SOURCES)\n' | make -s -C "$1" -f Makefile -f - list-sources
}
