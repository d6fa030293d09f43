# SPDX-License-Identifier: Apache-2.0
# A program built on an OpenCV outside the system's directories (the minimal build)
# takes that library along: its libraries are installed under their sonames into the
# private directory, where the programs (run path $ORIGIN/<bin to private directory>)
# and the preview module ($ORIGIN) find them, under any prefix. In the build tree they
# use the library where it was built.
set_target_properties(grayframe grayframe_embed PROPERTIES
  INSTALL_RPATH "\$ORIGIN/${private_from_bin}")
set_target_properties(grayframe_preview PROPERTIES INSTALL_RPATH "\$ORIGIN")

set(private_opencv_files)
foreach(module core imgproc imgcodecs highgui)
  get_target_property(library opencv_${module} LOCATION)
  get_target_property(soname opencv_${module} IMPORTED_SONAME_RELEASE)
  if(NOT soname)
    message(FATAL_ERROR "no soname recorded for ${library}")
  endif()
  install(FILES ${library} DESTINATION ${GRAYFRAME_PRIVATE_DIR} RENAME ${soname})
  list(APPEND private_opencv_files ${soname})
endforeach()
# Stripped like the program's own files when the install strips (cpack does).
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(file ${private_opencv_files})
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${GRAYFRAME_PRIVATE_DIR}/\${file}\")
    endforeach()
  endif()")
