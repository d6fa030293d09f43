# A CMake toolchain file for bare-metal Arm Cortex-M with arm-none-eabi-gcc and newlib
# (Debian: gcc-arm-none-eabi, libnewlib-arm-none-eabi).
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=.../arm-none-eabi.cmake \
#         -DARM_CPU=cortex-m0 -Dgrayframe_DIR=<prefix>/lib/cmake/grayframe
# ARM_CPU names the core as -mcpu does (default cortex-m3); a CMAKE_C_FLAGS given on
# the command line replaces the flags set here, so it must repeat them. Packages are
# looked up under the target's root only, so the host's grayframe package is named by
# grayframe_DIR.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(ARM_CPU cortex-m3 CACHE STRING "the Cortex-M core, as arm-none-eabi-gcc's -mcpu names it")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ARM_CPU)
# A bare-metal program needs its own startup and linker script: the compiler check
# builds a library instead.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# Each function and object in a section of its own, and the sections nothing uses left
# out of the firmware: it links only what it calls (of the decoder, the modes it uses).
# The linker script keeps the vector table with KEEP(), as vendors' scripts do.
set(CMAKE_C_FLAGS_INIT "-mcpu=${ARM_CPU} -mthumb -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-mcpu=${ARM_CPU} -mthumb -ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--gc-sections")
set(CMAKE_EXECUTABLE_SUFFIX_C .elf)
set(CMAKE_EXECUTABLE_SUFFIX_CXX .elf)

set(CMAKE_FIND_ROOT_PATH /usr/lib/arm-none-eabi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
