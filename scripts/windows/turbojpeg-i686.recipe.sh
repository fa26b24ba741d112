#!/usr/bin/env bash
# Static libjpeg-turbo (TurboJPEG API) for 32-bit Windows with its i386 SIMD (nasm), from Debian's source package.
# Argument: the prefix to install into. Runs in an empty work folder.
set -euo pipefail
prefix="$1"
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/common.sh"
. "$here/common-i686.sh"

src=$(debian_source libjpeg-turbo)
write_cmake_toolchain toolchain.cmake
cmake -S "$src" -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=ON -DWITH_JAVA=OFF -DWITH_SIMD=ON \
  -DREQUIRE_SIMD=ON
cmake --build build -j"$(nproc)"
cmake --install build
test -f "$prefix/lib/libturbojpeg.a"
