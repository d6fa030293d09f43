#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Cross-builds, once, the libraries grayframe.exe links statically for 64-bit Windows:
# zlib, libpng, libjpeg-turbo, libtiff, libwebp (with its demuxer and animation
# decoder) and giflib, then a small OpenCV (core, imgproc, imgcodecs, highgui on its
# Win32 backend) on top of them, all from Debian's source packages; nothing else is
# downloaded.
#   scripts/windows-libraries.sh WORK_DIR PREFIX [OPENCV_SOURCE_TREE]
# The sources are fetched into WORK_DIR/src-debian through source entries derived from
# this system's apt configuration, which is left as it is. Each library is built once;
# a finished one is marked PREFIX/.done-NAME.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mkdir -p "$1" && cd "$1" && pwd)
opencv_tree=${3:-}
jobs=${JOBS:-2}
toolchain="$here/cmake/mingw-w64-x86_64.cmake"
sources="$work/src-debian"

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
    cached_prefix windows-libraries "$2" "scripts $(files_hash "$here/scripts/windows-libraries.sh" \
        "$here/scripts/fetch-source.sh" "$here/scripts/library-recipes.sh" \
        "$here/scripts/apt-source-entries.sh" "$toolchain")
$versions
c++ $(x86_64-w64-mingw32-g++-posix --version | head -n 1)
cmake $(cmake --version | head -n 1)"
fi

[ -f "$prefix/.complete" ] && exit 0

. "$(dirname "$0")/fetch-source.sh"

target_cc=x86_64-w64-mingw32-gcc-posix target_ar=x86_64-w64-mingw32-gcc-ar-posix
target_cflags=-O2
. "$(dirname "$0")/library-recipes.sh"


# Configures, builds and installs the CMake project in $1 into the prefix as static
# libraries, with the further options given.
cmake_build() {
    tree=$1
    shift
    [ -d "$tree" ] || exit 1
    rm -rf "$work/build/$(basename "$tree")"
    cmake -S "$tree" -B "$work/build/$(basename "$tree")" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_FIND_ROOT_PATH="$prefix" \
        -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
    cmake --build "$work/build/$(basename "$tree")" -j "$jobs"
    cmake --install "$work/build/$(basename "$tree")" >/dev/null
}

# Its static library alone, installed as libz.a where the other builds look for it.
build_zlib() {
    tree=$(fetch_source zlib zlib1g)
    build="$work/build/zlib"
    rm -rf "$build"
    cmake -S "$tree" -B "$build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
    cmake --build "$build" -j "$jobs" --target zlibstatic
    mkdir -p "$prefix/include" "$prefix/lib"
    cp "$tree/zlib.h" "$build/zconf.h" "$prefix/include/"
    cp "$build/libzlibstatic.a" "$prefix/lib/libz.a"
}


build_libjpeg_turbo() {
    cmake_build "$(fetch_source libjpeg-turbo libjpeg62-turbo)" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
        -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
}





# The same compiler optimisation and CPU baseline as the Linux builds, so that all
# compute alike; the decoders above stay in their libraries' own defaults.
build_opencv() {
    tree=${opencv_tree:-$(fetch_source opencv libopencv-dev)}
    [ -f "$tree/CMakeLists.txt" ] || {
        echo "no OpenCV source tree at '$tree'" >&2
        exit 1
    }
    cmake_build "$tree" -DCPU_BASELINE=SSE2 -DCPU_BASELINE_DISABLE=SSE3 \
        -DCMAKE_CXX_FLAGS_RELEASE=-O2 -DCMAKE_C_FLAGS_RELEASE=-O2 \
        -DOPENCV_DOWNLOAD_TRIES_LIST= -DBUILD_LIST=core,imgproc,imgcodecs,highgui \
        -DWITH_WIN32UI=ON -DWITH_GTK=OFF -DWITH_QT=OFF -DWITH_OPENGL=OFF -DWITH_VTK=OFF \
        -DWITH_PNG=ON -DWITH_JPEG=ON -DWITH_TIFF=ON -DWITH_WEBP=ON \
        -DBUILD_PNG=OFF -DBUILD_JPEG=OFF -DBUILD_TIFF=OFF -DBUILD_WEBP=OFF -DBUILD_ZLIB=OFF \
        -DWITH_IMGCODEC_PXM=ON -DWITH_IMGCODEC_HDR=ON -DWITH_IMGCODEC_SUNRASTER=ON \
        -DWITH_IMGCODEC_PFM=ON -DWITH_OPENEXR=OFF -DWITH_JASPER=OFF -DWITH_OPENJPEG=OFF \
        -DWITH_GDAL=OFF -DWITH_GDCM=OFF -DWITH_IPP=OFF -DWITH_OPENCL=OFF -DWITH_ITT=OFF \
        -DWITH_LAPACK=OFF -DWITH_EIGEN=OFF -DWITH_TBB=OFF -DWITH_OPENMP=OFF \
        -DWITH_FFMPEG=OFF -DWITH_GSTREAMER=OFF -DWITH_DSHOW=OFF -DWITH_MSMF=OFF \
        -DWITH_DIRECTX=OFF -DWITH_OPENCL_D3D11_NV=OFF -DWITH_1394=OFF \
        -DWITH_PROTOBUF=OFF -DWITH_QUIRC=OFF -DWITH_ADE=OFF -DWITH_CUDA=OFF \
        -DBUILD_TESTS=OFF -DBUILD_PERF_TESTS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF \
        -DBUILD_opencv_apps=OFF -DBUILD_JAVA=OFF -DBUILD_opencv_python2=OFF \
        -DBUILD_opencv_python3=OFF -DOPENCV_GENERATE_PKGCONFIG=OFF \
        -DOPENCV_PYTHON_SKIP_DETECTION=ON -DOPENCV_ENABLE_NONFREE=OFF \
        -DENABLE_PRECOMPILED_HEADERS=OFF -DBUILD_WITH_STATIC_CRT=OFF
}

for library in zlib libpng libjpeg_turbo tiff libwebp giflib opencv; do
    [ -f "$prefix/.done-$library" ] && continue
    echo "building $library for Windows" >&2
    "build_$library"
    touch "$prefix/.done-$library"
done
touch "$prefix/.complete"
