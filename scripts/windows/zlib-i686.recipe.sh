#!/usr/bin/env bash
# Static zlib for 32-bit Windows, from Debian's source package.
# Argument: the prefix to install into. Runs in an empty work folder.
set -euo pipefail
prefix="$1"
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/common.sh"
. "$here/common-i686.sh"

src=$(debian_source zlib)
write_cmake_toolchain toolchain.cmake
cmake -S "$src" -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix"
cmake --build build --target zlibstatic
install -D -m 644 build/libzlibstatic.a "$prefix/lib/libz.a"
install -D -m 644 "$src/zlib.h" "$prefix/include/zlib.h"
install -D -m 644 build/zconf.h "$prefix/include/zconf.h"
