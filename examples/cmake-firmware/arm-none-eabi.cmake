# SPDX-License-Identifier: Apache-2.0
# A toolchain file for bare-metal ARM (Cortex-M) with Debian's gcc-arm-none-eabi and
# newlib, written the usual way: libraries, headers and packages are searched only in
# the target's sysroot. grayframe's package lies on the build machine, outside it, so
# the project is told where it is:
#   cmake -S examples/cmake-firmware -B build-arm \
#     -DCMAKE_TOOLCHAIN_FILE=examples/cmake-firmware/arm-none-eabi.cmake \
#     -Dgrayframe_DIR=/usr/local/lib/cmake/grayframe
# (or /usr/lib/cmake/grayframe for the Debian package). grayframe-embed then runs on the
# build machine and its files are compiled for the target.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(CMAKE_C_FLAGS_INIT "-mcpu=cortex-m3 -mthumb")
set(CMAKE_CXX_FLAGS_INIT "-mcpu=cortex-m3 -mthumb")
# newlib's stubs for the system calls (libnosys), enough to link a program that is never
# run here; grouped with the C library, which calls them.
set(CMAKE_C_STANDARD_LIBRARIES_INIT "-Wl,--start-group -lc -lnosys -Wl,--end-group")
set(CMAKE_CXX_STANDARD_LIBRARIES_INIT "-Wl,--start-group -lc -lnosys -Wl,--end-group")

set(CMAKE_FIND_ROOT_PATH /usr/lib/arm-none-eabi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
