# Shared by the 32-bit recipes, sourced after common.sh: the same scheme with the i686 cross compilers.
# Sourced, not run. Part of every 32-bit recipe's cache key (beside common.sh).

triple=i686-w64-mingw32

# A CMake toolchain file for the 32-bit cross compilers, written to the given path.
write_cmake_toolchain() {
  cat >"$1" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR X86)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
TC
}
