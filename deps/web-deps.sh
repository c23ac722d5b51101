#!/usr/bin/env bash
# Builds the browser build's libraries (SDL2, FreeType, libpng, zlib) once with
# Emscripten from Debian's own source packages, into a cache folder that git
# ignores: deps/web-deps.sh CACHE_DIR [--threads]. Emscripten's ports would
# download from the network, so they are not used. A library whose stamp is
# there is kept. With --threads every library is compiled with -pthread (the
# shared-memory variant of the game links only such objects): give it a cache
# folder of its own.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
threads=OFF
if [ "${2:-}" = "--threads" ]; then
    threads=ON
    export CFLAGS="${CFLAGS:-} -pthread" CXXFLAGS="${CXXFLAGS:-} -pthread"
fi
cache=$(mkdir -p "${1:-$here/../.cache/web-deps}" && cd "${1:-$here/../.cache/web-deps}" && pwd)
prefix=$cache/prefix
jobs=${JOBS:-$(nproc)}
export NODE_PATH=/usr/share/nodejs
mkdir -p "$prefix" "$cache/src"

# Debian's toolchain, browser and the source packages' index.
bash "$here/install.sh"
need_sources() {
    if ! apt-get source --print-uris zlib >/dev/null 2>&1; then
        sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        # The main archive's sources only: the security mirror keeps no sources.
        printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\n%s\n%s\n' \
            'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
            $sudo tee /etc/apt/sources.list.d/zorvek-plon-src.sources >/dev/null
        $sudo apt-get update -q >&2
    fi
}

# fetch PACKAGE: unpacks Debian's source package into src/, prints its folder.
fetch() {
    local dir
    dir=$(find "$cache/src" -maxdepth 1 -type d -name "$1-*" | head -n1)
    if [ -z "$dir" ]; then
        need_sources
        (cd "$cache/src" && apt-get source -q "$1/bookworm" >/dev/null 2>&1)
        dir=$(find "$cache/src" -maxdepth 1 -type d -name "$1-*" | head -n1)
    fi
    echo "$dir"
}

# cmake_lib NAME PACKAGE ARGS...: configures, builds and installs one library.
cmake_lib() {
    local name=$1 pkg=$2
    shift 2
    [ -f "$cache/$name.done" ] && return 0
    echo "== building $name for the browser"
    local src
    src=$(fetch "$pkg")
    rm -rf "$cache/build-$name"
    emcmake cmake -S "$src" -B "$cache/build-$name" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
        -DBUILD_SHARED_LIBS=OFF "$@" >"$cache/build-$name.log"
    cmake --build "$cache/build-$name" -j"$jobs" >>"$cache/build-$name.log"
    cmake --install "$cache/build-$name" >>"$cache/build-$name.log"
    touch "$cache/$name.done"
}

# zlib's own configure script (its CMake file wants Windows resources that
# Debian's source leaves out).
if [ ! -f "$cache/zlib.done" ]; then
    echo "== building zlib for the browser"
    src=$(fetch zlib)
    (cd "$src" && emconfigure ./configure --static --prefix="$prefix" &&
        emmake make -j"$jobs" libz.a && emmake make install) >"$cache/build-zlib.log" 2>&1
    touch "$cache/zlib.done"
fi
cmake_lib libpng libpng1.6 -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DPNG_HARDWARE_OPTIMIZATIONS=OFF -DZLIB_LIBRARY="$prefix/lib/libz.a" \
    -DZLIB_INCLUDE_DIR="$prefix/include"
# FreeType unpacks with the zlib above: its own copy would clash with it.
cmake_lib freetype freetype -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BZIP2=ON \
    -DFT_DISABLE_BROTLI=ON -DFT_DISABLE_PNG=ON -DFT_REQUIRE_ZLIB=ON \
    -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include"
cmake_lib sdl2 libsdl2 -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_PTHREADS=$threads \
    -DSDL_AUDIO=OFF
echo "web libraries ready in $prefix"
