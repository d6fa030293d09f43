# grayframe_add_frames(<target> NAME <name> [MODE fitin|fitout|stretch]
#                      [ATTRIBUTE <text> | TARGET avr] [GRAY luma] [LEVELS round]
#                      [GAMMA <g>] [DITHER ordered|diffusion] [INVERT] [ROTATE 180]
#                      [MIRROR horizontal|vertical] [NIBBLES low-first]
#                      [BACKGROUND <gray>] [STILL_MS <ms>] [FPS <n>] [START <seconds>]
#                      [DURATION <seconds>] [MAX_FRAMES <n>]
#                      [COMPRESS [CYCLES <n>]] IMAGES <image>...)
#
# GRAY ... NIBBLES are grayframe-embed's display options of the same names in lower
# case (--gray luma, ..., --invert), all off unless given.
#
# At build time, grayframe::embed makes <name>.h and <name>.c from the images (one
# frame each, one per page of a multi-page TIFF) in
# <current binary dir>/grayframe_frames/<target>/. <name>.c becomes a source of
# <target> (compiled as C++ when the project has no C), and that folder an include
# directory of it. GIF, animated WebP, APNG and video files give all their frames and
# <name>_durations_ms (with TARGET avr, <name>_duration_ms()); BACKGROUND ... MAX_FRAMES are grayframe-embed's --background,
# --still-ms, --fps, --start, --duration and --max-frames. Relative image paths are
# taken from the calling CMakeLists.txt's folder. The files are made again when an
# image or the program changes; the program leaves a file untouched when its bytes
# stay the same, so a rebuild does not cascade.
# With COMPRESS the set is compressed (<name>_code, grayframe-embed --compress), and
# the decoder grayframe_decode.c becomes a source of <target> too, its folder an include
# directory; when the compiler is avr-gcc (or CMAKE_SYSTEM_PROCESSOR is avr), so do its
# loops grayframe_decode_avr.S, compiled as the C file is, with the same flags; CYCLES
# is grayframe-embed's --cycles (0, or at least 32000; by default no limit, and 32000
# with TARGET avr). TARGET avr makes the set for avr-gcc: in program memory, read
# through <name>_byte() and <name>_row(), or with COMPRESS opened by <name>_open()
# (grayframe-embed --target avr). A deleted <name>.h or <name>.c is made again. Call
# it in the directory that creates <target>, once per <name> and target.
function(grayframe_add_frames target)
  set(display_keywords GRAY LEVELS GAMMA DITHER ROTATE MIRROR NIBBLES)
  set(timing BACKGROUND STILL_MS FPS START DURATION MAX_FRAMES)
  cmake_parse_arguments(PARSE_ARGV 1 arg "INVERT;COMPRESS"
                        "NAME;MODE;ATTRIBUTE;TARGET;CYCLES;${display_keywords};${timing}" "IMAGES")
  set(problem "")
  if(arg_UNPARSED_ARGUMENTS)
    set(problem "unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
  elseif(NOT TARGET "${target}")
    set(problem "no target named '${target}'")
  elseif(NOT arg_NAME MATCHES "^[A-Za-z_][A-Za-z0-9_]*$" OR arg_NAME MATCHES "^_[_A-Z]")
    set(problem "NAME must be a C identifier, not '${arg_NAME}'")
  elseif(NOT arg_IMAGES)
    set(problem "no IMAGES given for ${arg_NAME}")
  elseif(DEFINED arg_MODE AND NOT arg_MODE MATCHES "^(fitin|fitout|stretch)$")
    set(problem "MODE must be fitin, fitout or stretch, not '${arg_MODE}'")
  elseif(DEFINED arg_TARGET AND NOT arg_TARGET STREQUAL "avr")
    set(problem "TARGET must be avr, not '${arg_TARGET}'")
  elseif(DEFINED arg_TARGET AND NOT "${arg_ATTRIBUTE}" STREQUAL "")
    set(problem "ATTRIBUTE cannot be used with TARGET avr")
  elseif(DEFINED arg_CYCLES AND NOT arg_COMPRESS)
    set(problem "CYCLES needs COMPRESS")
  elseif(DEFINED arg_CYCLES AND NOT arg_CYCLES MATCHES "^[0-9]+$")
    set(problem "CYCLES must be a whole number, not '${arg_CYCLES}'")
  endif()
  set(timing_options "")
  foreach(keyword IN LISTS timing)
    if(NOT DEFINED arg_${keyword})
      continue()
    elseif(NOT arg_${keyword} MATCHES "^[0-9]+([.][0-9]+)?$")
      set(problem "${keyword} must be a number, not '${arg_${keyword}}'")
    endif()
    string(TOLOWER "${keyword}" option)
    string(REPLACE "_" "-" option "${option}")
    list(APPEND timing_options "--${option}" "${arg_${keyword}}")
  endforeach()
  if(problem)
    message(FATAL_ERROR "grayframe_add_frames: ${problem}")
  endif()
  if(NOT DEFINED arg_MODE)
    set(arg_MODE fitin)
  endif()
  # One set of a name per target: a second would write the same files (on Windows and
  # macOS also a name differing in case). The call stack under the message shows the
  # second call; the first is named by its file and images.
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/grayframe_frames/${target}")
  set(files_key "grayframe_frames:${dir}/${arg_NAME}")
  if(CMAKE_HOST_WIN32 OR CMAKE_HOST_APPLE)
    string(TOLOWER "${files_key}" files_key)
  endif()
  get_property(first GLOBAL PROPERTY "${files_key}")
  if(NOT problem AND first)
    string(CONCAT problem "target '${target}' has a frame set named '${arg_NAME}' "
                          "already, made in ${first}: give each set its own NAME")
  endif()
  if(problem)
    message(FATAL_ERROR "grayframe_add_frames: ${problem}")
  endif()
  string(REPLACE ";" " " first "${arg_IMAGES}")
  set_property(GLOBAL PROPERTY "${files_key}"
    "${CMAKE_CURRENT_LIST_FILE} from ${first} (MODE ${arg_MODE})")
  set(attribute "")
  if(NOT "${arg_ATTRIBUTE}" STREQUAL "")
    set(attribute --attribute "${arg_ATTRIBUTE}")
  endif()
  set(display "")
  foreach(keyword IN LISTS display_keywords)
    if(DEFINED arg_${keyword})
      string(TOLOWER "${keyword}" option)
      list(APPEND display "--${option}" "${arg_${keyword}}")
    endif()
  endforeach()
  if(arg_INVERT)
    list(APPEND display --invert)
  endif()
  set(compress "")
  if(arg_COMPRESS)
    set(compress --compress)
  endif()
  if(DEFINED arg_CYCLES)
    list(APPEND compress --cycles "${arg_CYCLES}")
  endif()
  if(DEFINED arg_TARGET)
    list(APPEND compress --target "${arg_TARGET}")
  endif()
  set(images "")
  foreach(image IN LISTS arg_IMAGES)
    get_filename_component(image "${image}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND images "${image}")
  endforeach()
  list(LENGTH images count)

  set(stamp "${dir}/${arg_NAME}.stamp")
  set(files "${dir}/${arg_NAME}.h" "${dir}/${arg_NAME}.c")
  file(MAKE_DIRECTORY "${dir}")
  # Ninja learns of the files as byproducts and re-reads their times after the run.
  # Make cannot, so there the stamp depends on the files themselves, each through a rule
  # of its own without a command: a deleted file makes the stamp stale and the set is
  # made again.
  if(CMAKE_GENERATOR MATCHES "^(Unix|MinGW|MSYS) Makefiles$")
    foreach(file IN LISTS files)
      add_custom_command(OUTPUT "${file}" COMMENT "")
    endforeach()
    set(byproducts "")
    set(made_from ${files})
  else()
    set(byproducts BYPRODUCTS ${files})
    set(made_from "")
  endif()
  add_custom_command(
    OUTPUT "${stamp}"
    ${byproducts}
    COMMAND grayframe::embed --name "${arg_NAME}" --mode "${arg_MODE}"
            --output-dir "${dir}" ${attribute} ${display} ${compress} ${timing_options}
            -- ${images}
    COMMAND "${CMAKE_COMMAND}" -E touch "${stamp}"
    DEPENDS ${images} "$<TARGET_FILE:grayframe::embed>" ${made_from}
    COMMENT "Making frame set ${arg_NAME} from ${count} image(s)"
    VERBATIM)
  target_sources(${target} PRIVATE "${stamp}" ${files})
  target_include_directories(${target} PUBLIC "${dir}")
  set(sources "${dir}/${arg_NAME}.c")
  set(loops "")
  if(arg_COMPRESS)
    get_property(firmware GLOBAL PROPERTY GRAYFRAME_FIRMWARE_DIR)
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "avr"
       OR "${CMAKE_C_COMPILER};${CMAKE_CXX_COMPILER}" MATCHES "avr-g")
      set(loops "${firmware}/grayframe_decode_avr.S")
    endif()
    target_sources(${target} PRIVATE "${firmware}/grayframe_decode.c" ${loops})
    target_include_directories(${target} PUBLIC "${firmware}")
    list(APPEND sources "${firmware}/grayframe_decode.c" ${loops})
  endif()
  # The compiler takes the .S file as assembler with the preprocessor, with the flags of
  # the language it is given: C, or C++ when the project has no C.
  get_property(languages GLOBAL PROPERTY ENABLED_LANGUAGES)
  if(NOT C IN_LIST languages)
    set_source_files_properties(${sources} PROPERTIES LANGUAGE CXX)
  elseif(loops)
    set_source_files_properties(${loops} PROPERTIES LANGUAGE C)
  endif()
endfunction()
