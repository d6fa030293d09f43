# SPDX-License-Identifier: Apache-2.0
# The Arduino library (make arduino): grayframe-arduino-VERSION.zip, which the Arduino
# IDE's "Add .ZIP Library" and PlatformIO take. It holds one folder, Grayframe, with
# library.properties and library.json (from arduino/), the decoder's sources as
# firmware/ holds them in src/, the examples of arduino/examples with the sets they
# play, made here from pictures of the repository, and the licence.
set(GRAYFRAME_HOMEPAGE "https://example.org/grayframe"
    CACHE STRING "Home page named by the Arduino library")
set(ARDUINO_MAINTAINER_NAME "${GRAYFRAME_MAINTAINER}")
set(ARDUINO_MAINTAINER_EMAIL "")
if(GRAYFRAME_MAINTAINER MATCHES "^(.*[^ ]) *<(.*)>$")
  set(ARDUINO_MAINTAINER_NAME "${CMAKE_MATCH_1}")
  set(ARDUINO_MAINTAINER_EMAIL "${CMAKE_MATCH_2}")
endif()

set(GRAYFRAME_ARDUINO_ZIP ${CMAKE_BINARY_DIR}/grayframe-arduino-${PROJECT_VERSION}.zip)
set(arduino_work ${CMAKE_BINARY_DIR}/arduino-library)
set(arduino_dir ${arduino_work}/Grayframe)
foreach(file library.properties library.json)
  configure_file(arduino/${file}.in ${arduino_work}/${file} @ONLY)
endforeach()
file(GLOB arduino_decoder CONFIGURE_DEPENDS firmware/*.c firmware/*.h firmware/*.S)
file(GLOB_RECURSE arduino_examples CONFIGURE_DEPENDS arduino/examples/*)
file(GLOB arduino_ball CONFIGURE_DEPENDS examples/avr-animation/ball-*.png)
file(GLOB arduino_walk CONFIGURE_DEPENDS examples/cmake-firmware/walk-*.png)
set(arduino_embed $<TARGET_FILE:grayframe_embed> --compress --target avr)

add_custom_command(OUTPUT ${GRAYFRAME_ARDUINO_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${arduino_dir} ${GRAYFRAME_ARDUINO_ZIP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${arduino_dir}/src
  COMMAND ${CMAKE_COMMAND} -E copy ${arduino_work}/library.properties
          ${arduino_work}/library.json ${PROJECT_SOURCE_DIR}/LICENSE ${arduino_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${arduino_decoder} ${arduino_dir}/src
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/arduino/examples
          ${arduino_dir}/examples
  COMMAND ${arduino_embed} --name ball --mode stretch --still-ms 60
          --output-dir ${arduino_dir}/examples/PanelAnimation ${arduino_ball}
  COMMAND ${arduino_embed} --name walk --still-ms 500
          --output-dir ${arduino_dir}/examples/SerialFrames ${arduino_walk}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${GRAYFRAME_ARDUINO_ZIP} --format=zip Grayframe
  DEPENDS grayframe_embed ${arduino_work}/library.properties ${arduino_work}/library.json
          ${PROJECT_SOURCE_DIR}/LICENSE ${arduino_decoder} ${arduino_examples}
          ${arduino_ball} ${arduino_walk}
  WORKING_DIRECTORY ${arduino_work}
  VERBATIM)
add_custom_target(arduino_library ALL DEPENDS ${GRAYFRAME_ARDUINO_ZIP})
