# A CMake toolchain file for avr-gcc and avr-libc (Debian: gcc-avr, avr-libc).
#   cmake -S . -B build-avr -DCMAKE_TOOLCHAIN_FILE=.../avr-gcc.cmake -DAVR_MCU=atmega2560 \
#         -Dgrayframe_DIR=<prefix>/lib/cmake/grayframe
# AVR_MCU names the part as -mmcu does (default atmega328p); a CMAKE_C_FLAGS given on
# the command line replaces the flags set here, so it must repeat -mmcu. Packages are looked up
# under the target's root only, so the host's grayframe package is named by
# grayframe_DIR: it offers only programs that run on the build host.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR avr)
set(CMAKE_C_COMPILER avr-gcc)
set(CMAKE_CXX_COMPILER avr-g++)
set(AVR_MCU atmega328p CACHE STRING "the AVR part, as avr-gcc's -mmcu names it")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES AVR_MCU)
# Each function and object in a section of its own, and the sections nothing uses left
# out of the firmware: it links only what it calls (of the decoder, the modes it uses).
set(CMAKE_C_FLAGS_INIT "-mmcu=${AVR_MCU} -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-mmcu=${AVR_MCU} -ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--gc-sections")
set(CMAKE_EXECUTABLE_SUFFIX_C .elf)
set(CMAKE_EXECUTABLE_SUFFIX_CXX .elf)

set(CMAKE_FIND_ROOT_PATH /usr/lib/avr)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
