# SPDX-License-Identifier: Apache-2.0
# The decode helper grayframe-decode (src/input/decode_helper.h), installed into the
# private directory. It is always built on the system's OpenCV, whose codecs read every
# format Debian enables, also when the program is built on another one (the minimal
# build); it needs only the library's core and image codecs.
set_source_files_properties(src/input/decode_helper_posix.cpp PROPERTIES COMPILE_DEFINITIONS
  "DECODE_HELPER_BESIDE=\"grayframe-decode\";DECODE_HELPER_INSTALLED=\"${private_from_bin}/grayframe-decode\";GRAYFRAME_VERSION=\"${PROJECT_VERSION}\"")

if(GRAYFRAME_SYSTEM_OPENCV)
  set(helper_opencv opencv_core opencv_imgcodecs)
else()
  set(system_only NO_PACKAGE_ROOT_PATH NO_CMAKE_PATH NO_CMAKE_ENVIRONMENT_PATH)
  find_path(SYSTEM_OPENCV_INCLUDE_DIR opencv2/imgcodecs.hpp PATH_SUFFIXES opencv4
            ${system_only})
  find_library(SYSTEM_OPENCV_CORE opencv_core ${system_only})
  find_library(SYSTEM_OPENCV_IMGCODECS opencv_imgcodecs ${system_only})
  if(NOT SYSTEM_OPENCV_INCLUDE_DIR OR NOT SYSTEM_OPENCV_CORE OR NOT SYSTEM_OPENCV_IMGCODECS)
    message(FATAL_ERROR "the decode helper needs the system's OpenCV (libopencv-dev)")
  endif()
  add_library(system_opencv INTERFACE)
  target_include_directories(system_opencv SYSTEM INTERFACE ${SYSTEM_OPENCV_INCLUDE_DIR})
  target_link_libraries(system_opencv INTERFACE ${SYSTEM_OPENCV_CORE}
                        ${SYSTEM_OPENCV_IMGCODECS})
  set(helper_opencv system_opencv)
endif()

add_executable(grayframe-decode src/decode/main.cpp src/input/decode_helper_posix.cpp
               src/platform/program_directory_posix.cpp
               src/platform/process_posix.cpp)
target_include_directories(grayframe-decode PRIVATE src)
target_link_libraries(grayframe-decode PRIVATE ${helper_opencv})
target_compile_options(grayframe-decode PRIVATE -Wall -Wextra)
# No run path: the private directory may hold another OpenCV with the same sonames.
set_target_properties(grayframe-decode PROPERTIES SKIP_BUILD_RPATH ON INSTALL_RPATH "")
foreach(program grayframe grayframe_embed)
  add_dependencies(${program} grayframe-decode)
endforeach()
install(TARGETS grayframe-decode RUNTIME DESTINATION ${GRAYFRAME_PRIVATE_DIR})
