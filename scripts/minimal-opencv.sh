#!/bin/sh
# Builds a small OpenCV into PREFIX, once: shared core, imgproc, imgcodecs (PNG, JPEG,
# TIFF and WebP through the system's libraries, plus the built-in BMP, PxM, PFM, HDR
# and Sun raster codecs) and highgui on GTK 3; nothing is downloaded.
#   scripts/minimal-opencv.sh WORK_DIR PREFIX [OPENCV_SOURCE_TREE]
# Without a source tree, Debian's own OpenCV source package (the version installed as
# libopencv-dev when there is one) is fetched into WORK_DIR through source entries
# derived from this system's apt configuration; the system's configuration is left
# as it is. Without a source tree, PREFIX becomes a link to the build kept in the
# cache outside the clone (scripts/build-cache.sh), made only when the cache has none
# for this source version, compiler and flags. Does nothing when PREFIX already holds a
# finished build.
set -eu

scripts=$(cd "$(dirname "$0")" && pwd)
work=$(mkdir -p "$1" && cd "$1" && pwd)
source_tree=${3:-}
jobs=${JOBS:-2}

# Debian's own compiler flags and CPU baseline, so that both builds compute alike; not
# its -ffile-prefix-map of the current folder, which would make the build, and its key
# in the cache, depend on where the clone lies.
flags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS |
    sed 's/^-g //; s/ -g / /; s/ *-ffile-prefix-map=[^ ]*//g')
cflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CFLAGS |
    sed 's/^-g //; s/ -g / /; s/ *-ffile-prefix-map=[^ ]*//g')

if [ -n "$source_tree" ]; then
    prefix=$(mkdir -p "$2" && cd "$2" && pwd)
else
    . "$scripts/build-cache.sh"
    cached_prefix minimal-opencv "$2" "scripts $(files_hash "$scripts/minimal-opencv.sh" \
        "$scripts/apt-source-entries.sh")
opencv $(dpkg-query -W -f='${source:Version}' libopencv-dev 2>/dev/null || true)
arch $(uname -m)
c++ $(c++ --version | head -n 1)
cc $(cc --version | head -n 1)
cmake $(cmake --version | head -n 1)
cxxflags $flags
cflags $cflags"
fi

[ -f "$prefix/.complete" ] && exit 0

. "$scripts/apt-source-entries.sh"

# Fetches and unpacks Debian's OpenCV source into $work/src-debian, once; prints the
# tree.
fetch_debian_source() {
    if [ ! -f "$work/src-debian/.complete" ]; then
        apt_dir="$work/apt"
        rm -rf "$apt_dir" "$work/src-debian"
        mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" \
            "$work/src-debian"
        derive_source_entries "$apt_dir"
        set -- -o "Dir::Etc::SourceList=$apt_dir/sources.list" \
            -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d" \
            -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" \
            -o "APT::Sandbox::User=root"
        apt-get "$@" -qq update >&2
        version=$(dpkg-query -W -f='${Version}' libopencv-dev 2>/dev/null || true)
        (cd "$work/src-debian" &&
            { [ -n "$version" ] && apt-get "$@" -qq source "opencv=$version" >&2 ||
                apt-get "$@" -qq source opencv >&2; }) &&
            touch "$work/src-debian/.complete"
    fi
    find "$work/src-debian" -mindepth 1 -maxdepth 1 -type d -name 'opencv-*' | head -n 1
}

if [ -z "$source_tree" ]; then
    source_tree=$(fetch_debian_source)
fi
[ -f "$source_tree/CMakeLists.txt" ] || {
    echo "no OpenCV source tree at '$source_tree'" >&2
    exit 1
}

set --
[ "$(uname -m)" = x86_64 ] && set -- -DCPU_BASELINE=SSE2 -DCPU_BASELINE_DISABLE=SSE3

cmake -S "$source_tree" -B "$work/build" "$@" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="$flags" -DCMAKE_C_FLAGS_RELEASE="$cflags" \
    -DCMAKE_INSTALL_RPATH='$ORIGIN' -DOPENCV_DOWNLOAD_TRIES_LIST= \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
    -DBUILD_LIST=core,imgproc,imgcodecs,highgui \
    -DWITH_GTK=ON -DWITH_GTK_2_X=OFF -DWITH_QT=OFF -DWITH_OPENGL=OFF -DWITH_VTK=OFF \
    -DWITH_PNG=ON -DWITH_JPEG=ON -DWITH_TIFF=ON -DWITH_WEBP=ON \
    -DBUILD_PNG=OFF -DBUILD_JPEG=OFF -DBUILD_TIFF=OFF -DBUILD_WEBP=OFF -DBUILD_ZLIB=OFF \
    -DWITH_IMGCODEC_PXM=ON -DWITH_IMGCODEC_HDR=ON -DWITH_IMGCODEC_SUNRASTER=ON \
    -DWITH_IMGCODEC_PFM=ON -DWITH_OPENEXR=OFF -DWITH_JASPER=OFF -DWITH_OPENJPEG=OFF \
    -DWITH_GDAL=OFF -DWITH_GDCM=OFF -DWITH_IPP=OFF -DWITH_OPENCL=OFF -DWITH_ITT=OFF \
    -DWITH_LAPACK=OFF -DWITH_EIGEN=OFF -DWITH_TBB=OFF -DWITH_OPENMP=OFF -DWITH_VA=OFF \
    -DWITH_FFMPEG=OFF -DWITH_GSTREAMER=OFF -DWITH_V4L=OFF -DWITH_1394=OFF \
    -DWITH_PROTOBUF=OFF -DWITH_QUIRC=OFF -DWITH_ADE=OFF -DWITH_CUDA=OFF \
    -DBUILD_TESTS=OFF -DBUILD_PERF_TESTS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF \
    -DBUILD_opencv_apps=OFF -DBUILD_JAVA=OFF -DBUILD_opencv_python2=OFF \
    -DBUILD_opencv_python3=OFF -DOPENCV_GENERATE_PKGCONFIG=OFF \
    -DOPENCV_PYTHON_SKIP_DETECTION=ON \
    -DOPENCV_ENABLE_NONFREE=OFF -DENABLE_PRECOMPILED_HEADERS=OFF
cmake --build "$work/build" -j "$jobs"
cmake --install "$work/build" >/dev/null
touch "$prefix/.complete"
