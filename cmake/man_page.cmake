# The manual page grayframe(1), gzip-compressed as Debian installs man pages. It is
# built with the program, so that installing right after building the program works.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(GRAYFRAME_MAN_PAGE ${CMAKE_CURRENT_BINARY_DIR}/grayframe.1.gz)
add_custom_command(OUTPUT ${GRAYFRAME_MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/docs/grayframe.1
          ${CMAKE_CURRENT_BINARY_DIR}/grayframe.1
  COMMAND ${GZIP_PROGRAM} -9nf ${CMAKE_CURRENT_BINARY_DIR}/grayframe.1
  DEPENDS docs/grayframe.1
  VERBATIM)
add_custom_target(grayframe_man_page DEPENDS ${GRAYFRAME_MAN_PAGE})
add_dependencies(grayframe grayframe_man_page)
install(FILES ${GRAYFRAME_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
