#!/bin/sh
# Installs a built tree into a scratch prefix and builds a copy of
# examples/cmake-firmware against it through find_package(grayframe): its frames must
# be grayframe's raw stream, its compressed set (COMPRESS) must decode to them; a touched
# picture remakes only its own frame set; a deleted NAME.c or NAME.h is made again (with
# Make, and with Ninja when installed); a damaged picture fails the build with
# grayframe-embed's message and changes nothing; a second set of the same name fails the
# configuration; the example cross-compiles for arm-none-eabi through its toolchain file
# (when that compiler is installed).
# Usage: cmake_firmware_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1 source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
prefix=$scratch/prefix project=$scratch/project tree=$scratch/build
cmake --install "$build" --prefix "$prefix" >/dev/null
cp -R "$source/examples/cmake-firmware" "$project"
# A set made for a particular panel: the display options reach grayframe-embed.
cat >>"$project/CMakeLists.txt" <<'EOF'
grayframe_add_frames(show_frames NAME panel GRAY luma LEVELS round GAMMA 1/2.2
  DITHER ordered INVERT ROTATE 180 MIRROR horizontal NIBBLES low-first IMAGES logo.png)
EOF
make_frames() {
    cmake --build "$tree" >"$scratch/build.log" 2>&1
}

cmake -S "$project" -B "$tree" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS=-Werror \
    >"$scratch/configure.log" 2>&1 || { cat "$scratch/configure.log"; fail "configure"; }
make_frames || { cat "$scratch/build.log"; fail "first build"; }
"$tree/show_frames" >"$scratch/frames.raw" || fail "show_frames failed"
(
    cd "$project"
    "$prefix/bin/grayframe" -printdata -i logo.png
    "$prefix/bin/grayframe" -resizemode stretch -printdata -i walk-1.png -i walk-2.png \
        -i walk-3.png
) >"$scratch/expected.raw"
[ "$(wc -c <"$scratch/expected.raw")" -eq 16320 ] || fail "grayframe's raw stream"
cmp "$scratch/frames.raw" "$scratch/expected.raw" || fail "frames differ from -printdata"
mkdir "$scratch/panel"
(cd "$project" && "$prefix/bin/grayframe-embed" --name panel --output-dir "$scratch/panel" \
    --gray luma --levels round --gamma 1/2.2 --dither ordered --invert --rotate 180 \
    --mirror horizontal --nibbles low-first logo.png)
for file in panel.h panel.c; do
    cmp "$tree/grayframe_frames/show_frames/$file" "$scratch/panel/$file" ||
        fail "$file is not what the same display options make"
done

# A touched picture remakes its own set only; nothing is remade on the next build.
sleep 1  # past the second of the last build, for file systems with coarse times
touch "$project/walk-2.png"
make_frames || { cat "$scratch/build.log"; fail "build after touch"; }
grep -q "Making frame set walk" "$scratch/build.log" || fail "walk not remade"
! grep -q "Making frame set logo" "$scratch/build.log" || fail "logo remade"
make_frames || fail "build after build"
! grep -q "Making frame set" "$scratch/build.log" || fail "a set remade for nothing"

# A deleted file is made again, the same, and the next build does nothing.
regenerates() {
    frames=$1/grayframe_frames/show_frames
    for file in walk.c logo.h; do
        cp "$frames/$file" "$scratch/$file.before"
        rm "$frames/$file"
        cmake --build "$1" >"$scratch/build.log" 2>&1 ||
            { cat "$scratch/build.log"; fail "build after deleting $file ($2)"; }
        cmp "$frames/$file" "$scratch/$file.before" || fail "$file not made again ($2)"
        cmake --build "$1" >"$scratch/build.log" 2>&1 || fail "build after build ($2)"
        ! grep -q "Making frame set" "$scratch/build.log" || { cat "$scratch/build.log"; fail "remade for nothing ($2)"; }
    done
}
regenerates "$tree" make
if command -v ninja >/dev/null; then
    cmake -S "$project" -B "$scratch/ninja" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
        >"$scratch/configure.log" 2>&1 || { cat "$scratch/configure.log"; fail "ninja"; }
    cmake --build "$scratch/ninja" >"$scratch/build.log" 2>&1 || fail "ninja build"
    regenerates "$scratch/ninja" ninja
fi

# A damaged picture fails the build with the program's one line; the set stays.
frames=$tree/grayframe_frames/show_frames
cp "$frames/walk.c" "$scratch/walk.c.before"
head -c 100 "$source/examples/cmake-firmware/walk-3.png" >"$project/walk-3.png"
! make_frames || fail "a damaged picture built"
grep -qx "grayframe-embed: cannot read image '$project/walk-3.png': damaged, too large, or not a picture format this program reads" \
    "$scratch/build.log" || { cat "$scratch/build.log"; fail "no message from grayframe-embed"; }
cmp "$frames/walk.c" "$scratch/walk.c.before" || fail "walk.c changed"
cp "$source/examples/cmake-firmware/walk-3.png" "$project/walk-3.png"

# A second set of one name in a target is refused at configure time, naming the first.
cp -R "$project" "$scratch/twice"
printf 'grayframe_add_frames(show_frames NAME logo IMAGES walk-1.png)\n' \
    >>"$scratch/twice/CMakeLists.txt"
! cmake -S "$scratch/twice" -B "$scratch/twice/build" -DCMAKE_PREFIX_PATH="$prefix" \
    >"$scratch/configure.log" 2>&1 || fail "a second set named logo configured"
tr -s ' \n' '  ' <"$scratch/configure.log" | grep -qF "target 'show_frames' has a frame set named 'logo' already, made in $scratch/twice/CMakeLists.txt from logo.png (MODE fitin)" ||
    { cat "$scratch/configure.log"; fail "no message naming the first set"; }

# Cross-compiled with a toolchain that finds packages only in its sysroot: the package is
# named by grayframe_DIR.
if command -v arm-none-eabi-gcc >/dev/null; then
    cmake -S "$project" -B "$scratch/arm" \
        -DCMAKE_TOOLCHAIN_FILE="$project/arm-none-eabi.cmake" \
        -Dgrayframe_DIR="$(dirname "$(find "$prefix" -name grayframeConfig.cmake)")" \
        >"$scratch/configure.log" 2>&1 || { cat "$scratch/configure.log"; fail "arm configure"; }
    cmake --build "$scratch/arm" >"$scratch/build.log" 2>&1 ||
        { cat "$scratch/build.log"; fail "arm build"; }
    arm-none-eabi-readelf -h "$scratch/arm/show_frames" | grep -q "Machine: *ARM" ||
        fail "show_frames is not an ARM program"
fi
echo "cmake firmware example test passed"
