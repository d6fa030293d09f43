# The Debian package: the programs, their manual pages, the CMake package, the private
# directory, the copyright file and the changelog. Build it with make deb (cpack -G DEB
# in the minimal build's directory); dpkg-shlibdeps (dpkg-dev) fills in Depends. The
# Maintainer field is GRAYFRAME_MAINTAINER (make deb MAINTAINER="Name <address>"), by
# default the DEBFULLNAME and DEBEMAIL of Debian's tools when set.
if(DEFINED ENV{DEBEMAIL} AND NOT "$ENV{DEBEMAIL}" STREQUAL "")
  set(default_maintainer "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
  string(STRIP "${default_maintainer}" default_maintainer)
else()
  set(default_maintainer "grayframe developers <grayframe@example.org>")
endif()
set(GRAYFRAME_MAINTAINER "${default_maintainer}"
    CACHE STRING "Maintainer field of the Debian package")

configure_file(packaging/changelog.in changelog @ONLY)
set(GRAYFRAME_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${GRAYFRAME_CHANGELOG}
  COMMAND ${GZIP_PROGRAM} -9nkf ${CMAKE_CURRENT_BINARY_DIR}/changelog
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog
  VERBATIM)
add_custom_target(grayframe_changelog DEPENDS ${GRAYFRAME_CHANGELOG})
add_dependencies(grayframe grayframe_changelog)
install(FILES packaging/copyright ${GRAYFRAME_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME grayframe)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert pictures to packed 4-bit 102x80 grayscale frames")
set(CPACK_PACKAGE_DESCRIPTION
    "grayframe turns image files (anything OpenCV reads) into 4-bit grayscale
frames of 102 x 80 pixels, two pixels a byte, for a small display. For each
input it writes a C header defining the packed frame as a const unsigned char
array, ready to be compiled into firmware, and a BMP of the frame; or it writes
the raw packed bytes to standard output.
.
grayframe-embed makes one named C array of many such frames (a header and a C
file) for firmware builds, also from every frame of GIF, animated WebP, APNG
and video files, with their durations; a CMake package runs it at build time.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${GRAYFRAME_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
