# SPDX-License-Identifier: Apache-2.0
# The animation helper grayframe-animate (src/animated/animation_helper.h), installed into
# the private directory beside the decode helper: GIF through giflib, animated WebP
# through libwebp's animation decoder, APNG and video through FFmpeg's libraries. Only
# this program links them, so that grayframe-embed starts on a still picture as fast as
# without them.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ANIMATION_LIBS REQUIRED IMPORTED_TARGET
  libavformat libavcodec libswscale libavutil libwebpdemux)
find_package(GIF REQUIRED)

set_source_files_properties(src/animated/animation_helper_posix.cpp PROPERTIES COMPILE_DEFINITIONS
  "ANIMATION_HELPER_BESIDE=\"grayframe-animate\";ANIMATION_HELPER_INSTALLED=\"${private_from_bin}/grayframe-animate\"")
target_sources(grayframe_core PRIVATE src/animated/animation_stream.cpp
  src/animated/canvas_gray.cpp)
# giflib writes grayframe-embed's --preview GIF; grayframe itself does not load it.
target_link_libraries(grayframe_core PUBLIC GIF::GIF)
target_link_options(grayframe PRIVATE -Wl,--as-needed)

add_executable(grayframe-animate
  src/animation/main.cpp
  src/animation/canvas.cpp
  src/animation/read_gif.cpp
  src/animation/read_media.cpp
  src/animation/read_webp.cpp
  src/animation/video_parts.cpp
  src/animated/animation_kind.cpp
  src/animated/animation_stream.cpp
  src/animated/canvas_gray.cpp
  src/platform/process_posix.cpp
  src/platform/program_directory_posix.cpp
)
target_include_directories(grayframe-animate PRIVATE src)
target_link_libraries(grayframe-animate PRIVATE PkgConfig::ANIMATION_LIBS GIF::GIF Threads::Threads)
target_compile_options(grayframe-animate PRIVATE -Wall -Wextra)
add_dependencies(grayframe_embed grayframe-animate)
install(TARGETS grayframe-animate RUNTIME DESTINATION ${GRAYFRAME_PRIVATE_DIR})
