# The Debian package: the programs, their manual pages and the CMake package. Build it
# with cpack -G DEB in the build directory; dpkg-shlibdeps (dpkg-dev) fills in Depends.
set(GRAYFRAME_MAINTAINER "grayframe developers <grayframe@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

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
file) for firmware builds; a CMake package runs it at build time.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${GRAYFRAME_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
