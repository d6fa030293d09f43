#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs a built tree into a scratch prefix, builds the Debian package from it (or
# takes the one given), checks its files, control fields and dependencies, runs lintian
# on it, unpacks it into a scratch root (never the real system) and runs grayframe from
# PATH there against a reference program built on Debian's OpenCV: a PNG, read by the
# program itself, and OpenEXR and JPEG 2000 pictures, which only its decode helper reads;
# grayframe-embed on an animated GIF, which only its animation helper reads. Given the
# package (as make package-test gives it), it also checks that make install in a fresh
# clone of SOURCE_DIR's repository installs the same files as BUILD_DIR.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR REFERENCE_PROGRAM [PACKAGE.deb]
#   (the reference's build directory also holds tests/make_picture)
set -eu
build=$1 source=$2 reference=$(realpath "$3") deb=${4:+$(realpath "$4")}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"  # man drops root's privileges when it formats a page
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
make_picture=$(dirname "$reference")/tests/make_picture
[ -x "$reference" ] && [ -x "$make_picture" ] || fail "no $reference or $make_picture"

# Install rules.
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
for file in bin/grayframe bin/grayframe-embed share/man/man1/grayframe.1.gz \
    share/man/man1/grayframe-embed.1.gz share/doc/grayframe/copyright \
    share/doc/grayframe/changelog.gz; do
    [ -f "$scratch/prefix/$file" ] || fail "cmake --install: no $file"
done
[ -n "$(find "$scratch/prefix" -path '*/cmake/grayframe/grayframeConfig.cmake')" ] ||
    fail "cmake --install: no cmake/grayframe/grayframeConfig.cmake"

# make install in a fresh clone builds all that it installs, on the small OpenCV (kept
# outside the clone, so only the programs are compiled), and nothing else.
installed_files() {
    (cd "$1" && find . ! -type d | LC_ALL=C sort)
}
if [ -n "$deb" ]; then
    git clone -q "$source" "$scratch/clone"
    make -C "$scratch/clone" install PREFIX="$scratch/clone-prefix" \
        >"$scratch/install.log" 2>&1 ||
        { tail -n 30 "$scratch/install.log"; fail "make install in a fresh clone"; }
    [ "$(installed_files "$scratch/clone-prefix")" = "$(installed_files "$scratch/prefix")" ] ||
        fail "make install: $(installed_files "$scratch/clone-prefix" | tr '\n' ' ')"
    ldd "$scratch/clone-prefix/bin/grayframe" | grep libopencv |
        grep -v -q "$scratch/clone-prefix" && fail "make install: not the small OpenCV"
    # make uninstall removes what make install put there, also after make deb, and
    # nothing else.
    touch "$scratch/clone-prefix/bin/mine"
    make -C "$scratch/clone" deb >"$scratch/install.log" 2>&1 ||
        { tail -n 30 "$scratch/install.log"; fail "make deb in the clone"; }
    make -C "$scratch/clone" uninstall >"$scratch/install.log" 2>&1 ||
        { cat "$scratch/install.log"; fail "make uninstall"; }
    [ "$(installed_files "$scratch/clone-prefix")" = "./bin/mine" ] ||
        fail "make uninstall left: $(installed_files "$scratch/clone-prefix" | tr '\n' ' ')"
    rm -rf "$scratch/clone"
fi

# The package.
if [ -z "$deb" ]; then
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/cpack" \
        >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack"; }
    set -- "$scratch"/cpack/*.deb
    [ $# -eq 1 ] && [ -f "$1" ] || fail "expected one .deb, got: $*"
    deb=$1
fi
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | LC_ALL=C sort | tr '\n' ' ')
cmake_dir=./usr/lib/cmake/grayframe
private="./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/grayframe"
expected="./usr/bin/grayframe ./usr/bin/grayframe-embed $cmake_dir/GrayframeAddFrames.cmake"
expected="$expected $cmake_dir/grayframeConfig.cmake $cmake_dir/grayframeConfigVersion.cmake"
expected="$expected $private/grayframe-animate $private/grayframe-decode"
expected="$expected $private/grayframe_preview.so"
for library in core highgui imgcodecs imgproc; do
    expected="$expected $private/libopencv_$library.so.406"
done
expected="$expected ./usr/share/doc/grayframe/changelog.gz ./usr/share/doc/grayframe/copyright"
expected="$expected ./usr/share/grayframe/firmware/grayframe_decode.c"
expected="$expected ./usr/share/grayframe/firmware/grayframe_decode.h"
expected="$expected ./usr/share/grayframe/firmware/grayframe_decode_avr.S"
expected="$expected ./usr/share/grayframe/firmware/grayframe_format.h"
expected="$expected ./usr/share/man/man1/grayframe-embed.1.gz ./usr/share/man/man1/grayframe.1.gz "
[ "$files" = "$expected" ] || fail "package files: $files"
dpkg-deb -c "$deb" | awk '$2 != "root/root" { exit 1 }' || fail "files not owned by root"
for field in Maintainer Description Section; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "no $field field"
done
dpkg-deb -e "$deb" "$scratch/control"
[ "$(ls "$scratch/control")" = "$(printf 'control\nmd5sums')" ] ||
    fail "control files: $(ls "$scratch/control" | tr '\n' ' ')"
# The helper needs Debian's OpenCV; the program's own comes along and must not be
# mistaken for Debian's; the private OpenCV's own libraries are Debian's.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for package in libopencv-core406 libopencv-imgcodecs406 libpng16-16 libgtk-3-0 \
    libavformat59 libwebpdemux2 libgif7; do
    echo "$depends" | grep -q "$package" || fail "Depends lacks $package"
done
echo "$depends" | grep -q "libopencv-imgproc\|libopencv-highgui" &&
    fail "Depends names OpenCV libraries the package carries"
lintian --fail-on error,warning "$deb" >"$scratch/lintian.txt" 2>&1 ||
    fail "lintian: $(cat "$scratch/lintian.txt")"

# Unpacked into a scratch root and run from PATH, it loads its own OpenCV, the helper
# Debian's, and both write what the reference writes.
dpkg-deb -x "$deb" "$scratch/root"
PATH="$scratch/root/usr/bin:$PATH"
[ "$(command -v grayframe)" = "$scratch/root/usr/bin/grayframe" ] || fail "not on PATH"
for program in grayframe grayframe-embed; do
    ldd "$scratch/root/usr/bin/$program" | grep libopencv | grep -v -q "$scratch/root" &&
        fail "$program loads an OpenCV from outside the package"
done
ldd "$scratch/root/$private/grayframe-decode" | grep libopencv | grep -q "$scratch" &&
    fail "the decode helper loads the package's OpenCV"
mkdir "$scratch/installed" "$scratch/reference"
for dir in installed reference; do
    cp "$source/examples/chart.png" "$scratch/$dir/"
    "$make_picture" 300 200 "$scratch/$dir/photo.exr"
    "$make_picture" 300 200 "$scratch/$dir/photo.jp2"
done
inputs="-i chart.png -i photo.exr -i photo.jp2"
# shellcheck disable=SC2086
(cd "$scratch/installed" && grayframe $inputs -resizemode fitout >raw 2>err &&
    grayframe $inputs -printdata >>raw 2>>err) || fail "run failed"
[ ! -s "$scratch/installed/err" ] || fail "stderr: $(cat "$scratch/installed/err")"
# shellcheck disable=SC2086
(cd "$scratch/reference" && "$reference" $inputs -resizemode fitout >raw &&
    "$reference" $inputs -printdata >>raw)
[ "$(wc -c <"$scratch/installed/raw")" -eq $((3 * 4080)) ] || fail "raw stream size"
for output in raw chart.png_out.bmp chart.png_out.h photo.exr_out.bmp photo.exr_out.h \
    photo.jp2_out.bmp photo.jp2_out.h; do
    cmp "$scratch/installed/$output" "$scratch/reference/$output" || fail "$output differs"
done
(cd "$scratch/installed" && grayframe-embed --name chart --mode fitout chart.png photo.exr) ||
    fail "grayframe-embed failed"
convert -delay 20 "$source/examples/chart.png" -negate "$source/examples/chart.png" \
    "$scratch/installed/blink.gif"
(cd "$scratch/installed" && grayframe-embed --name blink blink.gif) ||
    fail "grayframe-embed on a GIF failed"
grep -q "^    200, 200$" "$scratch/installed/blink.c" || fail "blink.c: no durations"
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
