# grayframe-embed: frame sets for firmware builds, from the same library as grayframe,
# with its manual page and the CMake package (grayframeConfig.cmake) that offers both
# programs and grayframe_add_frames() to other projects.
set(GRAYFRAME_EMBED_MAN_PAGE ${CMAKE_CURRENT_BINARY_DIR}/grayframe-embed.1.gz)
add_custom_command(OUTPUT ${GRAYFRAME_EMBED_MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/docs/grayframe-embed.1
          ${CMAKE_CURRENT_BINARY_DIR}/grayframe-embed.1
  COMMAND ${GZIP_PROGRAM} -9nf ${CMAKE_CURRENT_BINARY_DIR}/grayframe-embed.1
  DEPENDS docs/grayframe-embed.1
  VERBATIM)
add_custom_target(grayframe_embed_man_page DEPENDS ${GRAYFRAME_EMBED_MAN_PAGE})
add_dependencies(grayframe_embed grayframe_embed_man_page)

install(FILES ${GRAYFRAME_EMBED_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The decoder of compressed sets, compiled into firmware: installed as source (its AVR
# loops beside it), where grayframe_add_frames(... COMPRESS) finds it.
set(GRAYFRAME_FIRMWARE_DIR ${CMAKE_INSTALL_DATADIR}/grayframe/firmware)
install(FILES firmware/grayframe_decode.c firmware/grayframe_decode_avr.S
  firmware/grayframe_decode.h firmware/grayframe_format.h DESTINATION ${GRAYFRAME_FIRMWARE_DIR})

# The package: relocatable (paths relative to the file itself) and usable from any
# architecture's toolchain, since it offers only programs that run on the build host.
include(CMakePackageConfigHelpers)
set(GRAYFRAME_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/grayframe)
configure_package_config_file(cmake/grayframeConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/grayframeConfig.cmake
  INSTALL_DESTINATION ${GRAYFRAME_PACKAGE_DIR}
  PATH_VARS CMAKE_INSTALL_BINDIR GRAYFRAME_FIRMWARE_DIR)
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/grayframeConfigVersion.cmake
  COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/grayframeConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/grayframeConfigVersion.cmake
  cmake/GrayframeAddFrames.cmake
  DESTINATION ${GRAYFRAME_PACKAGE_DIR})
