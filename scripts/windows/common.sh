# Shared by the recipes: the cross compilers and Debian's source packages.
# Sourced, not run. Part of every recipe's cache key.

triple=x86_64-w64-mingw32

# Debian's mingw-w64 names its POSIX-thread compilers with a -posix suffix; builds that expect the plain
# triple-prefixed names (Qt's configure) get a folder of links to them.
cross_bin_folder() {
  local dir="$1"
  mkdir -p "$dir"
  ln -sf "$(command -v $triple-gcc-posix)" "$dir/$triple-gcc"
  ln -sf "$(command -v $triple-g++-posix)" "$dir/$triple-g++"
  local tool
  for tool in ar ranlib strip windres objdump nm ld dlltool objcopy; do
    ln -sf "$(command -v $triple-$tool)" "$dir/$triple-$tool"
  done
}

# A CMake toolchain file for the cross compilers, written to the given path.
write_cmake_toolchain() {
  cat >"$1" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
TC
}

# Unpacks Debian's source package (with Debian's patches applied) into the current folder and prints the folder.
# The newest version the archives list comes first; when its files cannot be fetched (a mirror that carries a
# security update's binaries but not its sources), the next listed version is taken.
debian_source() {
  local package="$1" version
  for version in $(apt-cache showsrc "$package" | awk '/^Version:/ {print $2}' | sort -rV | uniq); do
    if apt-get source --only-source "$package=$version" >>apt-source.log 2>&1; then
      find . -maxdepth 1 -mindepth 1 -type d -name "*-*" | head -n 1
      return 0
    fi
    rm -rf ./*/ ./*.dsc ./*.tar.* 2>/dev/null || true
  done
  cat apt-source.log >&2
  return 1
}
