#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Builds, once, the libraries the browser build of grayframe links statically, for
# WebAssembly with Debian's emscripten: zlib, libpng, libjpeg-turbo, libtiff, libwebp
# (with its demuxer and animation decoder) and giflib, then a small OpenCV (core,
# imgproc, imgcodecs) on top of them, all from Debian's source packages; nothing else
# is downloaded, no emscripten port is used.
#   scripts/web-libraries.sh WORK_DIR PREFIX [OPENCV_SOURCE_TREE]
# The sources are fetched into WORK_DIR/src-debian through source entries derived from
# this system's apt configuration, which is left as it is. Each library is built once;
# a finished one is marked PREFIX/.done-NAME. All run single-threaded, with wasm SIMD.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mkdir -p "$1" && cd "$1" && pwd)
opencv_tree=${3:-}
jobs=${JOBS:-2}
sources="$work/src-debian"
cflags="-O2 -msimd128"

# Debian's emscripten finds its JavaScript modules only there when offline; the
# configure checks run their programs under node, which must not load the module
# through fetch (nor be given the thread flag emcmake would add, unknown to new node).
NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
export NODE_PATH
emulator="$(command -v node);--no-experimental-fetch"

# PREFIX becomes a link to the libraries kept in the cache outside the clone
# (scripts/build-cache.sh), built only when the cache has none for these source
# versions and this compiler; an OpenCV tree of one's own (not a Debian source tree)
# is built into PREFIX itself.
if [ -n "$opencv_tree" ] && [ ! -f "$opencv_tree/debian/changelog" ]; then
    prefix=$(mkdir -p "$2" && cd "$2" && pwd)
else
    versions=$(for binary in zlib1g libpng16-16 libjpeg62-turbo libtiff6 libwebp7 \
        libgif7 libopencv-dev; do
        echo "$binary $(dpkg-query -W -f='${source:Version}' "$binary" 2>/dev/null || true)"
    done)
    . "$here/scripts/build-cache.sh"
    cached_prefix web-libraries "$2" "scripts $(files_hash "$here/scripts/web-libraries.sh" \
        "$here/scripts/fetch-source.sh" "$here/scripts/library-recipes.sh" \
        "$here/scripts/apt-source-entries.sh")
$versions
emcc $(emcc --version | sed -n 1p)
cmake $(cmake --version | head -n 1)"
fi

[ -f "$prefix/.complete" ] && exit 0

. "$(dirname "$0")/fetch-source.sh"

target_cc=emcc target_ar=emar target_cflags=$cflags
. "$(dirname "$0")/library-recipes.sh"


# Configures, builds and installs the CMake project in $1 into the prefix as static
# libraries, with the further options given. C++ is compiled with exceptions, as the
# programs are (cmake/web.cmake): OpenCV's own catch blocks and clean-ups then act as
# on Linux, instead of an error passing through them.
cmake_build() {
    tree=$1
    shift
    [ -d "$tree" ] || exit 1
    rm -rf "$work/build/$(basename "$tree")"
    emcmake cmake --no-warn-unused-cli -S "$tree" -B "$work/build/$(basename "$tree")" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" \
        -DCMAKE_C_FLAGS=-msimd128 -DCMAKE_CXX_FLAGS="-msimd128 -fexceptions" \
        -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DCMAKE_FIND_ROOT_PATH="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
    cmake --build "$work/build/$(basename "$tree")" -j "$jobs" >&2
    cmake --install "$work/build/$(basename "$tree")" >/dev/null
}

# Its static library alone, through its own configure script: its CMake project wants
# Windows resources that Debian's source leaves out.
build_zlib() {
    tree=$(fetch_source zlib zlib1g)
    build="$work/build/zlib"
    rm -rf "$build"
    mkdir -p "$build" "$prefix/include" "$prefix/lib"
    (cd "$build" && CFLAGS="$cflags -DNDEBUG -I$build" emconfigure "$tree/configure" \
        --static >/dev/null)
    emmake make -C "$build" -j "$jobs" libz.a >&2
    cp "$tree/zlib.h" "$build/zconf.h" "$prefix/include/"
    cp "$build/libz.a" "$prefix/lib/libz.a"
}


build_libjpeg_turbo() {
    cmake_build "$(fetch_source libjpeg-turbo libjpeg62-turbo)" -DENABLE_SHARED=OFF \
        -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF
}




# The same compiler optimisation as the Linux builds, so that all compute alike, and
# OpenCV's universal intrinsics on wasm SIMD; the decoders above stay in their
# libraries' own defaults.
# OpenCV's WebAssembly intrinsics round a float's halves up (v_round adds 0.5 and
# truncates), where its SSE2 ones, those of the Linux builds, round them to even: a
# resize then gives some pixels one level apart. Rounded to even here too
# (f32x4.nearest), in the tree being built.
round_to_even() {
    perl -0pi -e 's/v128_t h = wasm_f32x4_splat\(0\.5\);\n(\s*)return v_int32x4\(wasm_i32x4_trunc_saturate_f32x4\(wasm_f32x4_add\(a\.val, h\)\)\);/return v_int32x4(wasm_i32x4_trunc_saturate_f32x4(wasm_f32x4_nearest(a.val)));/' "$1"
    grep -q 'wasm_f32x4_nearest(a.val)' "$1" || {
        echo "cannot make v_round round to even in $1" >&2
        exit 1
    }
}

build_opencv() {
    tree=${opencv_tree:-$(fetch_source opencv libopencv-dev)}
    [ -f "$tree/CMakeLists.txt" ] || {
        echo "no OpenCV source tree at '$tree'" >&2
        exit 1
    }
    round_to_even "$tree/modules/core/include/opencv2/core/hal/intrin_wasm.hpp"
    cmake_build "$tree" -DCPU_BASELINE= -DCPU_DISPATCH= -DCV_ENABLE_INTRINSICS=ON \
        -DOPENCV_DOWNLOAD_TRIES_LIST= -DBUILD_LIST=core,imgproc,imgcodecs \
        -DWITH_GTK=OFF -DWITH_QT=OFF -DWITH_OPENGL=OFF -DWITH_VTK=OFF \
        -DWITH_PNG=ON -DWITH_JPEG=ON -DWITH_TIFF=ON -DWITH_WEBP=ON \
        -DBUILD_PNG=OFF -DBUILD_JPEG=OFF -DBUILD_TIFF=OFF -DBUILD_WEBP=OFF -DBUILD_ZLIB=OFF \
        -DWITH_IMGCODEC_PXM=ON -DWITH_IMGCODEC_HDR=ON -DWITH_IMGCODEC_SUNRASTER=ON \
        -DWITH_IMGCODEC_PFM=ON -DWITH_OPENEXR=OFF -DWITH_JASPER=OFF -DWITH_OPENJPEG=OFF \
        -DWITH_GDAL=OFF -DWITH_GDCM=OFF -DWITH_IPP=OFF -DWITH_OPENCL=OFF -DWITH_ITT=OFF \
        -DWITH_LAPACK=OFF -DWITH_EIGEN=OFF -DWITH_TBB=OFF -DWITH_OPENMP=OFF \
        -DWITH_PTHREADS_PF=OFF -DWITH_FFMPEG=OFF -DWITH_GSTREAMER=OFF -DWITH_V4L=OFF \
        -DWITH_1394=OFF -DWITH_PROTOBUF=OFF -DWITH_QUIRC=OFF -DWITH_ADE=OFF \
        -DWITH_CUDA=OFF -DWITH_VA=OFF -DWITH_VA_INTEL=OFF \
        -DBUILD_TESTS=OFF -DBUILD_PERF_TESTS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF \
        -DBUILD_opencv_apps=OFF -DBUILD_JAVA=OFF -DBUILD_opencv_python2=OFF \
        -DBUILD_opencv_python3=OFF -DBUILD_opencv_js=OFF -DOPENCV_GENERATE_PKGCONFIG=OFF \
        -DOPENCV_PYTHON_SKIP_DETECTION=ON -DOPENCV_ENABLE_NONFREE=OFF \
        -DENABLE_PRECOMPILED_HEADERS=OFF -DCV_TRACE=OFF
}

for library in zlib libpng libjpeg_turbo tiff libwebp giflib opencv; do
    [ -f "$prefix/.done-$library" ] && continue
    echo "building $library for WebAssembly" >&2
    "build_$library"
    touch "$prefix/.done-$library"
done
touch "$prefix/.complete"
