# web.cmake - the browser build (configured with emcmake; `make web`).
#
# The same game sources over a browser host: the web_*.cpp files of the
# platform take the place of their desktop namesakes (host, memory figures,
# video export), SDL2, FreeType, libpng and zlib come from deps/web-deps.sh's
# cache, and the asset pack made by the desktop build is packed beside the
# program. The page (web/index.html) is our own, not the toolchain's.
#
# Two variants share the page and the pack: zorvek-plon (one thread) and
# zorvek-plon-threads (-pthread, shared memory: the rasteriser's workers run),
# which the page loads only where it is cross-origin isolated. The threaded
# one links libraries built with -pthread (deps/web-deps.sh DIR --threads).
set(ZP_WEB_DEPS "${CMAKE_SOURCE_DIR}/.cache/web-deps/prefix" CACHE PATH
    "Where deps/web-deps.sh installed the browser build's libraries")
set(ZP_WEB_PACK "${CMAKE_SOURCE_DIR}/build/Files" CACHE PATH
    "The asset pack the desktop build generated")
set(ZP_WEB_THREADS_DEPS "${CMAKE_SOURCE_DIR}/.cache/web-deps-threads/prefix" CACHE PATH
    "Where deps/web-deps.sh --threads installed the threaded variant's libraries")
foreach(deps ${ZP_WEB_DEPS} ${ZP_WEB_THREADS_DEPS})
  if(NOT EXISTS "${deps}/lib/libSDL2.a")
    message(FATAL_ERROR "no browser libraries in ${deps}: run deps/web-deps.sh first")
  endif()
endforeach()

file(GLOB ZP_PLATFORM_SRC CONFIGURE_DEPENDS src/platform/*.cpp)
foreach(replaced host memory video_export)
  list(REMOVE_ITEM ZP_PLATFORM_SRC ${CMAKE_SOURCE_DIR}/src/platform/${replaced}.cpp)
endforeach()
file(GLOB ZP_CORE_SRC CONFIGURE_DEPENDS src/text/*.cpp src/draw/*.cpp src/input/*.cpp
     src/shell/*.cpp src/app/*.cpp src/game/*.cpp src/ui/*.cpp src/music/*.cpp src/scores/*.cpp)
list(REMOVE_ITEM ZP_CORE_SRC ${CMAKE_SOURCE_DIR}/src/app/main.cpp)
# The pack lies where an installed copy's would: the program in /usr/games.
set_source_files_properties(src/shell/home.cpp PROPERTIES COMPILE_DEFINITIONS
                            ZP_PACK_FROM_PROGRAM="../share/games/zorvek-plon")

# The pack, made once for both variants: zorvek-plon.data and the script that
# loads it (run before either program).
set(ZP_WEB_PACK_JS ${CMAKE_BINARY_DIR}/pack.js)
file(GLOB_RECURSE ZP_WEB_PACK_FILES CONFIGURE_DEPENDS ${ZP_WEB_PACK}/*)
add_custom_command(
  OUTPUT ${ZP_WEB_PACK_JS} ${CMAKE_BINARY_DIR}/zorvek-plon.data
  COMMAND /usr/share/emscripten/tools/file_packager zorvek-plon.data --preload
          ${ZP_WEB_PACK}@/usr/share/games/zorvek-plon --exclude *.stamp --js-output=pack.js
  DEPENDS ${ZP_WEB_PACK_FILES}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Packing the assets")
add_custom_target(zp_web_pack DEPENDS ${ZP_WEB_PACK_JS})

# zp_web_variant(NAME DEPS LINK FLAGS...): the game built as NAME.js/NAME.wasm
# on the libraries in DEPS, every object compiled and linked with FLAGS, the
# program linked with the list LINK too.
function(zp_web_variant name deps link)
  set(flags -msimd128 ${ARGN})
  add_library(${name}_platform STATIC ${ZP_PLATFORM_SRC})
  target_include_directories(${name}_platform PUBLIC src)
  # The browser's OpenAL lacks OpenAL Soft's extension header: ours stands in.
  target_include_directories(${name}_platform SYSTEM PRIVATE src/platform/web "${deps}/include"
                             "${deps}/include/SDL2" "${deps}/include/freetype2")
  target_link_libraries(${name}_platform PUBLIC "${deps}/lib/libSDL2.a" "${deps}/lib/libfreetype.a"
                        "${deps}/lib/libpng16.a" "${deps}/lib/libz.a" openal)
  add_library(${name}_core STATIC ${ZP_CORE_SRC})
  target_link_libraries(${name}_core PUBLIC ${name}_platform)
  add_executable(${name} src/app/main.cpp)
  target_link_libraries(${name} PRIVATE ${name}_core)
  foreach(target ${name}_platform ${name}_core ${name})
    target_compile_options(${target} PRIVATE ${flags})
  endforeach()
  target_link_options(
    ${name}
    PRIVATE
    ${flags}
    ${link}
    -sASYNCIFY
    "-sASYNCIFY_IMPORTS=['zpWaitAnimationFrame']"
    -sASYNCIFY_STACK_SIZE=262144
    -sALLOW_MEMORY_GROWTH=1
    -sINITIAL_MEMORY=134217728
    -sTOTAL_STACK=5242880
    -sEXIT_RUNTIME=1
    -sFORCE_FILESYSTEM=1
    -sFULL_ES2=1
    -sMAX_WEBGL_VERSION=2
    -sENVIRONMENT=web,worker
    "-sEXPORTED_RUNTIME_METHODS=['FS']"
    -lidbfs.js
    -lopenal
    "SHELL:--pre-js ${ZP_WEB_PACK_JS}"
    "SHELL:--pre-js ${CMAKE_SOURCE_DIR}/web/loader.js")
  add_dependencies(${name} zp_web_pack)
  # Debian's Emscripten finds its JavaScript modules only through NODE_PATH.
  set_property(TARGET ${name} PROPERTY RULE_LAUNCH_LINK "env NODE_PATH=/usr/share/nodejs")
  set_target_properties(${name} PROPERTIES LINK_DEPENDS
                                           "${CMAKE_SOURCE_DIR}/web/loader.js;${ZP_WEB_PACK_JS}")
endfunction()

zp_web_variant(zorvek-plon ${ZP_WEB_DEPS} "")
# The pool of workers is made before the game starts: a thread asked for
# while the game runs could not start until the page got control back.
zp_web_variant(zorvek-plon-threads ${ZP_WEB_THREADS_DEPS}
               "-sPTHREAD_POOL_SIZE=Math.min(navigator.hardwareConcurrency,4);-Wno-pthreads-mem-growth" -pthread)

add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/index.html
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/web/index.html
          ${CMAKE_BINARY_DIR}/index.html
  DEPENDS ${CMAKE_SOURCE_DIR}/web/index.html
  COMMENT "Copying the page")
add_custom_target(zp_web_page ALL DEPENDS ${CMAKE_BINARY_DIR}/index.html)
