# web.cmake - the browser build (configured with emcmake; `make web`).
#
# The same game sources over a browser host: the web_*.cpp files of the
# platform take the place of their desktop namesakes (host, memory figures,
# video export), SDL2, FreeType, libpng and zlib come from deps/web-deps.sh's
# cache, and the asset pack made by the desktop build is packed beside the
# program. The page (web/index.html) is our own, not the toolchain's.
set(ZP_WEB_DEPS "${CMAKE_SOURCE_DIR}/.cache/web-deps/prefix" CACHE PATH
    "Where deps/web-deps.sh installed the browser build's libraries")
set(ZP_WEB_PACK "${CMAKE_SOURCE_DIR}/build/Files" CACHE PATH
    "The asset pack the desktop build generated")
if(NOT EXISTS "${ZP_WEB_DEPS}/lib/libSDL2.a")
  message(FATAL_ERROR "no browser libraries in ${ZP_WEB_DEPS}: run deps/web-deps.sh first")
endif()

file(GLOB ZP_PLATFORM_SRC CONFIGURE_DEPENDS src/platform/*.cpp)
foreach(replaced host memory video_export)
  list(REMOVE_ITEM ZP_PLATFORM_SRC ${CMAKE_SOURCE_DIR}/src/platform/${replaced}.cpp)
endforeach()
add_library(zp_platform STATIC ${ZP_PLATFORM_SRC})
target_include_directories(zp_platform PUBLIC src)
# The browser's OpenAL lacks OpenAL Soft's extension header: ours stands in.
target_include_directories(zp_platform SYSTEM PRIVATE src/platform/web "${ZP_WEB_DEPS}/include"
                           "${ZP_WEB_DEPS}/include/SDL2" "${ZP_WEB_DEPS}/include/freetype2")
target_link_libraries(zp_platform PUBLIC "${ZP_WEB_DEPS}/lib/libSDL2.a"
                      "${ZP_WEB_DEPS}/lib/libfreetype.a" "${ZP_WEB_DEPS}/lib/libpng16.a"
                      "${ZP_WEB_DEPS}/lib/libz.a" openal)

file(GLOB ZP_CORE_SRC CONFIGURE_DEPENDS src/text/*.cpp src/draw/*.cpp src/input/*.cpp
     src/shell/*.cpp src/app/*.cpp src/game/*.cpp src/ui/*.cpp src/music/*.cpp src/scores/*.cpp)
list(REMOVE_ITEM ZP_CORE_SRC ${CMAKE_SOURCE_DIR}/src/app/main.cpp)
add_library(zp_core STATIC ${ZP_CORE_SRC})
target_link_libraries(zp_core PUBLIC zp_platform)
# The pack lies where an installed copy's would: the program in /usr/games.
set_source_files_properties(src/shell/home.cpp PROPERTIES COMPILE_DEFINITIONS
                            ZP_PACK_FROM_PROGRAM="../share/games/zorvek-plon")

# Vector loops for the rasteriser's portable path.
add_compile_options(-msimd128)
target_compile_options(zp_platform PRIVATE -msimd128)
target_compile_options(zp_core PRIVATE -msimd128)

add_executable(zorvek-plon src/app/main.cpp)
target_link_libraries(zorvek-plon PRIVATE zp_core)
set(ZP_WEB_LINK
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
    -sENVIRONMENT=web
    "-sEXPORTED_RUNTIME_METHODS=['FS']"
    -lidbfs.js
    -lopenal
    --pre-js
    ${CMAKE_SOURCE_DIR}/web/loader.js
    --preload-file
    ${ZP_WEB_PACK}@/usr/share/games/zorvek-plon
    --exclude-file
    *.stamp)
target_link_options(zorvek-plon PRIVATE ${ZP_WEB_LINK})
# Debian's Emscripten finds its JavaScript modules only through NODE_PATH.
set_property(TARGET zorvek-plon PROPERTY RULE_LAUNCH_LINK "env NODE_PATH=/usr/share/nodejs")
set_target_properties(zorvek-plon PROPERTIES LINK_DEPENDS ${CMAKE_SOURCE_DIR}/web/loader.js)
add_custom_command(
  TARGET zorvek-plon POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/web/index.html
          ${CMAKE_BINARY_DIR}/index.html
  COMMENT "Copying the page")
