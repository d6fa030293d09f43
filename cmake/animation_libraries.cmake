# SPDX-License-Identifier: Apache-2.0
# The animation readers' libraries (src/animated): giflib, libwebp's animation decoder
# and, on Linux alone, where videos are read, FFmpeg's libraries. Defines GIF::GIF and
# sets ANIMATION_LIBRARIES. On Linux the system's, through pkg-config; in the Windows and
# browser builds the static ones their scripts build from Debian's sources
# (windows-libraries.sh, web-libraries.sh), found through CMAKE_FIND_ROOT_PATH.
if(NOT WIN32 AND NOT EMSCRIPTEN)
  find_package(GIF REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(ANIMATION_LIBS REQUIRED IMPORTED_TARGET
    libavformat libavcodec libswscale libavutil libwebpdemux)
  set(ANIMATION_LIBRARIES PkgConfig::ANIMATION_LIBS)
  return()
endif()

find_path(GIF_INCLUDE_DIR gif_lib.h REQUIRED)
find_library(GIF_LIBRARY NAMES libgif.a gif REQUIRED)
add_library(GIF::GIF INTERFACE IMPORTED)
set_target_properties(GIF::GIF PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${GIF_INCLUDE_DIR}
                      INTERFACE_LINK_LIBRARIES ${GIF_LIBRARY})
set(ANIMATION_LIBRARIES)
foreach(name webpdemux webp)
  find_library(STATIC_${name}_LIBRARY NAMES lib${name}.a ${name} REQUIRED)
  list(APPEND ANIMATION_LIBRARIES ${STATIC_${name}_LIBRARY})
endforeach()
find_path(WEBP_INCLUDE_DIR webp/demux.h REQUIRED)
include_directories(SYSTEM ${WEBP_INCLUDE_DIR})
