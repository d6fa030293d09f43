# SPDX-License-Identifier: Apache-2.0
# The browser build (make web): grayframe and grayframe-embed compiled with Emscripten
# into WebAssembly modules that the page (src/web/) runs in a Web Worker, on the
# libraries scripts/web-libraries.sh builds from Debian's sources (OpenCV, its image
# libraries, giflib, libwebp), found through CMAKE_FIND_ROOT_PATH. One thread, no
# companion programs: pictures and animations are read in the module itself.
add_compile_options(-fexceptions -msimd128)
add_link_options(-fexceptions)

# Makes the program target a module for the page: a factory EXPORT_NAME(overrides) that
# gives the module, whose callMain(arguments) runs the program once more each time on
# the files of its in-memory file system (FS), standard output and error going to
# overrides.stdout and overrides.stderr byte by byte. Further arguments: C functions
# the page calls besides main.
function(grayframe_web_module target export_name)
  set(exported _main)
  foreach(function ${ARGN})
    list(APPEND exported _${function})
  endforeach()
  list(JOIN exported "," exported)
  target_link_options(${target} PRIVATE
    -sMODULARIZE=1 -sEXPORT_NAME=${export_name} -sENVIRONMENT=web,worker,node
    -sINVOKE_RUN=0 -sEXIT_RUNTIME=0 -sFORCE_FILESYSTEM=1
    -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=4GB
    -sEXPORTED_RUNTIME_METHODS=FS,callMain
    -sEXPORTED_FUNCTIONS=${exported},_malloc,_free)
endfunction()
