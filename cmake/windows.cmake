# SPDX-License-Identifier: Apache-2.0
# The Windows build (make windows): programs linked statically, so that nothing but
# the system's own DLLs is needed, and the zip users download:
# grayframe-VERSION-win64.zip holding a folder of that name with the programs, the
# README, the docs folder its links lead to (the pages and their pictures) and the
# licence.
enable_language(RC)
add_link_options(-static $<$<CONFIG:Release>:-s>)
# stat() with 64-bit sizes, as on Linux.
add_compile_definitions(_FILE_OFFSET_BITS=64)

set(GRAYFRAME_ZIP_NAME grayframe-${PROJECT_VERSION}-win64)
set(GRAYFRAME_ZIP ${CMAKE_BINARY_DIR}/${GRAYFRAME_ZIP_NAME}.zip)

function(grayframe_windows_zip)
  set(zip_dir ${CMAKE_BINARY_DIR}/${GRAYFRAME_ZIP_NAME})
  set(programs)
  foreach(program ${ARGN})
    list(APPEND programs $<TARGET_FILE:${program}>)
  endforeach()
  set(documents ${PROJECT_SOURCE_DIR}/README.md)
  if(EXISTS ${PROJECT_SOURCE_DIR}/LICENSE)
    list(APPEND documents ${PROJECT_SOURCE_DIR}/LICENSE)
  endif()
  file(GLOB pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
  file(GLOB pictures CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/pictures/*.png)
  add_custom_command(OUTPUT ${GRAYFRAME_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_dir} ${GRAYFRAME_ZIP}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_dir}/docs/pictures
    COMMAND ${CMAKE_COMMAND} -E copy ${programs} ${documents} ${zip_dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${pages} ${zip_dir}/docs
    COMMAND ${CMAKE_COMMAND} -E copy ${pictures} ${zip_dir}/docs/pictures
    COMMAND ${CMAKE_COMMAND} -E tar cf ${GRAYFRAME_ZIP} --format=zip ${GRAYFRAME_ZIP_NAME}
    DEPENDS ${ARGN} ${documents} ${pages} ${pictures}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    VERBATIM)
  add_custom_target(windows_zip ALL DEPENDS ${GRAYFRAME_ZIP})
endfunction()
