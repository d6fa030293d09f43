# SPDX-License-Identifier: Apache-2.0
# Sourced by windows-libraries.sh and web-libraries.sh: the libraries both build, as
# both configure them. The sourcing script has set work, prefix and jobs, sourced
# fetch-source.sh, and defined for its target:
#   cmake_build TREE OPTIONS...  configure, build and install a CMake project;
#   target_cc, target_ar, target_cflags  the C compiler, archiver and flags.

build_libpng() {
    cmake_build "$(fetch_source libpng1.6 libpng16-16)" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
        -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DPNG_FRAMEWORK=OFF
}

build_tiff() {
    cmake_build "$(fetch_source tiff libtiff6)" -Dtiff-tools=OFF -Dtiff-tests=OFF \
        -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF -Dzlib=ON -Djpeg=ON -Dold-jpeg=ON \
        -Djbig=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Dlerc=OFF -Dlibdeflate=OFF \
        -Dpixarlog=ON
}

# libwebpdemux holds the animation decoder (WebPAnimDecoder).
build_libwebp() {
    cmake_build "$(fetch_source libwebp libwebp7)" -DWEBP_BUILD_ANIM_UTILS=OFF \
        -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF \
        -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF -DWEBP_BUILD_WEBPINFO=OFF \
        -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF -DWEBP_BUILD_LIBWEBPMUX=OFF
}

# Its library alone, from the sources its Makefile lists for it.
build_giflib() {
    tree=$(fetch_source giflib libgif7)
    build="$work/build/giflib"
    rm -rf "$build"
    mkdir -p "$build" "$prefix/include" "$prefix/lib"
    files=$(giflib_sources "$tree")
    [ -n "$files" ] || exit 1
    for file in $files; do
        # shellcheck disable=SC2086  # the flags are words
        "$target_cc" -std=gnu99 $target_cflags -DNDEBUG -c "$tree/$file" \
            -o "$build/${file%.c}.o"
    done
    "$target_ar" rcs "$build/libgif.a" "$build"/*.o
    cp "$build/libgif.a" "$prefix/lib/"
    cp "$tree/gif_lib.h" "$prefix/include/"
}
