#!/usr/bin/env bash
# Static Qt 5.15 for 32-bit Windows, as qt.recipe.sh builds it for 64-bit (same source, same options), with the
# i686 cross compilers. Argument: the prefix to install into. Runs in an empty work folder. 40-80 minutes on two
# busy cores.
set -euo pipefail
prefix="$1"
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/common.sh"
. "$here/common-i686.sh"

src="$PWD/$(debian_source qtbase-opensource-src)"
cross_bin_folder "$PWD/cross-bin"
mkdir build
cd build
"$src/configure" -opensource -confirm-license -platform linux-g++ -xplatform win32-g++ \
  -device-option CROSS_COMPILE="$PWD/../cross-bin/$triple-" -prefix "$prefix" \
  -static -static-runtime -release -nomake examples -nomake tests \
  -no-opengl -no-dbus -no-icu -no-direct2d \
  -no-feature-network -no-feature-sql -no-feature-xml -no-feature-testlib -no-feature-printer \
  -no-feature-vulkan -no-feature-tabletevent \
  -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz -qt-doubleconversion
make -j"$(nproc)"
make install
test -f "$prefix/lib/cmake/Qt5Widgets/Qt5WidgetsConfig.cmake"
