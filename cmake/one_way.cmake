# SPDX-License-Identifier: Apache-2.0
# The stages' one-way rule, held by the build: each folder under src/ may include the
# headers of its own folder and of the folders whose libraries its libraries link, and
# no other project header. The links are the one place the rule is written; a stray
# include fails the configuration with the file and the line.

# Sets ${out} to the folders under src/ of the targets that ${target} links, itself
# and through the libraries it links.
function(grayframe_linked_folders target out)
  set(folders)
  set(pending ${target})
  set(seen)
  while(pending)
    list(POP_FRONT pending current)
    if(current IN_LIST seen OR NOT TARGET ${current})
      continue()
    endif()
    list(APPEND seen ${current})
    get_target_property(dir ${current} SOURCE_DIR)
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${dir})
    list(APPEND folders ${folder})
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(links ${current} ${property})
      if(links)
        list(APPEND pending ${links})
      endif()
    endforeach()
  endwhile()
  list(REMOVE_DUPLICATES folders)
  set(${out} ${folders} PARENT_SCOPE)
endfunction()

# FOLDER TARGET...: checks every source and header in src/FOLDER against what TARGETs
# (the folder's libraries and programs) link.
function(grayframe_check_includes folder)
  set(allowed)
  foreach(target ${ARGN})
    grayframe_linked_folders(${target} linked)
    list(APPEND allowed ${linked})
  endforeach()
  file(GLOB files ${PROJECT_SOURCE_DIR}/src/${folder}/*.h
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${file} includes REGEX "^#include \"[a-z_]+/")
    foreach(line ${includes})
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" target_folder "${line}")
      if(NOT target_folder IN_LIST allowed)
        message(FATAL_ERROR "${file}: '${line}' runs against the stages' direction: "
                "src/${folder} does not link src/${target_folder}")
      endif()
    endforeach()
  endforeach()
endfunction()
