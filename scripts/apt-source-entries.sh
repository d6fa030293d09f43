# SPDX-License-Identifier: Apache-2.0
# Sourced by the scripts that fetch Debian source packages without touching the
# system's apt configuration.

# Writes deb-src twins of the system's deb entries into the private apt tree $1.
derive_source_entries() {
    mkdir -p "$1/sources.list.d"
    : >"$1/sources.list"
    for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$list" ] || continue
        sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$list" >>"$1/sources.list"
    done
    for entries in /etc/apt/sources.list.d/*.sources; do
        [ -f "$entries" ] || continue
        sed 's/^Types:.*/Types: deb-src/' "$entries" >"$1/sources.list.d/$(basename "$entries")"
    done
}
