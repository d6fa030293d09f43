#!/bin/sh
# Installs, through apt, those of the named Debian packages that are not installed
# yet. Runs as root, or through sudo for a normal user; does nothing when all are there;
# waits while another package manager holds apt's lock.
set -eu

missing=""
for package in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
        *" installed") ;;
        *) missing="$missing $package" ;;
    esac
done
[ -z "$missing" ] && exit 0

echo "installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    echo "these packages are missing and neither root nor sudo is at hand:$missing" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# Another apt or dpkg at work (an update in the background) holds the package lock: wait
# for it, up to half an hour, instead of giving up at once. apt itself waits for dpkg's
# lock (DPkg::Lock::Timeout) but not for that of its lists.
locked() {
    lslocks -n -o PATH 2>/dev/null |
        grep -q -e '^/var/lib/dpkg/lock' -e '^/var/lib/apt/lists/lock'
}
if locked; then
    echo "waiting for the package manager that is at work to finish (apt's lock is held)"
    waited=0
    while locked && [ $waited -lt 1800 ]; do
        sleep 2
        waited=$((waited + 2))
    done
fi
lock_wait="-o DPkg::Lock::Timeout=1800"
# shellcheck disable=SC2086
$as_root apt-get $lock_wait update -qq
# shellcheck disable=SC2086
$as_root env DEBIAN_FRONTEND=noninteractive apt-get $lock_wait install -y -qq $missing </dev/null
