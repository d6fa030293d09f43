#!/bin/sh
# Installs a built tree into a scratch prefix, builds the Debian package from it,
# checks the package's files and control fields, unpacks it into a scratch root (never
# the real system) and runs grayframe from PATH there against the build's own program.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1 source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"  # man drops root's privileges when it formats a page
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Install rules.
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
[ -x "$scratch/prefix/bin/grayframe" ] || fail "cmake --install: no bin/grayframe"
[ -n "$(find "$scratch/prefix" -name grayframe_preview.so)" ] ||
    fail "cmake --install: no grayframe_preview.so"
[ -f "$scratch/prefix/share/man/man1/grayframe.1.gz" ] ||
    fail "cmake --install: no share/man/man1/grayframe.1.gz"
[ -x "$scratch/prefix/bin/grayframe-embed" ] || fail "cmake --install: no bin/grayframe-embed"
[ -f "$scratch/prefix/share/man/man1/grayframe-embed.1.gz" ] ||
    fail "cmake --install: no share/man/man1/grayframe-embed.1.gz"
[ -n "$(find "$scratch/prefix" -path '*/cmake/grayframe/grayframeConfig.cmake')" ] ||
    fail "cmake --install: no cmake/grayframe/grayframeConfig.cmake"

# The package.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/cpack" \
    >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack"; }
set -- "$scratch"/cpack/*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one .deb, got: $*"
deb=$1
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | LC_ALL=C sort | tr '\n' ' ')
cmake_dir=./usr/lib/cmake/grayframe
case "$files" in
    "./usr/bin/grayframe ./usr/bin/grayframe-embed $cmake_dir/GrayframeAddFrames.cmake $cmake_dir/grayframeConfig.cmake $cmake_dir/grayframeConfigVersion.cmake ./usr/lib/"*"grayframe/grayframe_preview.so ./usr/share/man/man1/grayframe-embed.1.gz ./usr/share/man/man1/grayframe.1.gz ") ;;
    *) fail "package files: $files" ;;
esac
dpkg-deb -c "$deb" | awk '$2 != "root/root" { exit 1 }' || fail "files not owned by root"
for field in Maintainer Description Section; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "no $field field"
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
needed=$(readelf -d "$build/grayframe" "$build/grayframe-embed" "$build/grayframe_preview.so" |
    sed -n 's/.*Shared library: \[libopencv_\([a-z]*\)\..*/\1/p')
[ -n "$needed" ] || fail "the program links no OpenCV library?"
for library in $needed; do
    echo "$depends" | grep -q "libopencv-$library[0-9]" ||
        fail "Depends lacks libopencv-$library"
done

# Unpacked into a scratch root and run from PATH, it does what the build's program does.
dpkg-deb -x "$deb" "$scratch/root"
PATH="$scratch/root/usr/bin:$PATH"
[ "$(command -v grayframe)" = "$scratch/root/usr/bin/grayframe" ] || fail "not on PATH"
mkdir "$scratch/installed" "$scratch/built"
for dir in installed built; do cp "$source/examples/chart.png" "$scratch/$dir/"; done
(cd "$scratch/installed" && grayframe -i chart.png -resizemode fitout 2>err) ||
    fail "run failed"
[ ! -s "$scratch/installed/err" ] || fail "stderr: $(cat "$scratch/installed/err")"
(cd "$scratch/built" && "$build/grayframe" -i chart.png -resizemode fitout)
for output in chart.png_out.bmp chart.png_out.h; do
    cmp "$scratch/installed/$output" "$scratch/built/$output" || fail "$output differs"
done
(cd "$scratch/installed" && grayframe-embed --name chart --mode fitout chart.png) ||
    fail "grayframe-embed failed"
# Its preview module is found and loaded (the display check lives in the module).
(cd "$scratch/installed" && DISPLAY= grayframe -show -i chart.png 2>err) || fail "-show failed"
[ "$(cat "$scratch/installed/err")" = "cannot show the preview: no usable display" ] ||
    fail "-show without a display: $(cat "$scratch/installed/err")"

# The installed pages are found by man and format without warnings.
for page in grayframe grayframe-embed; do
    MAN_DISABLE_SECCOMP=1 MANWIDTH=80 \
        man --warnings --manpath="$scratch/root/usr/share/man" $page \
        >"$scratch/man.txt" 2>"$scratch/man.err" || fail "man $page failed"
    [ ! -s "$scratch/man.err" ] || fail "man warnings: $(cat "$scratch/man.err")"
    title=$(echo $page | tr a-z A-Z)
    grep -q "^$title(1)" "$scratch/man.txt" || fail "man page has no $title(1) title"
done
echo "package test passed: $(basename "$deb")"
