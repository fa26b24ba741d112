# What the 64-bit and 32-bit Windows toolchains share; included by windows-x64.cmake and windows-x86.cmake
# after they set CMAKE_SYSTEM_PROCESSOR and VISTREL_MINGW_TRIPLE. The POSIX-thread flavour of the compilers is
# the one with std::thread and std::mutex. Prefixes of the cross-built libraries (static Qt, TurboJPEG, zlib)
# come in CMAKE_PREFIX_PATH; scripts/windows/build.sh passes them from the toolchain cache.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VISTREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VISTREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VISTREL_MINGW_TRIPLE}-windres)

# Libraries and headers come only from the cross prefixes, programs (moc, uic, rcc) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VISTREL_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads only the cross prefixes' files, never the build machine's.
set(_vistrel_pc "")
foreach(_prefix ${CMAKE_PREFIX_PATH})
  list(APPEND _vistrel_pc ${_prefix}/lib/pkgconfig)
endforeach()
string(REPLACE ";" ":" _vistrel_pc "${_vistrel_pc}")
set(ENV{PKG_CONFIG_LIBDIR} "${_vistrel_pc}")
set(ENV{PKG_CONFIG_PATH} "")

# Everything links statically (libstdc++, libgcc, winpthread), so the files need only the DLLs Windows
# has. A link option rather than CMAKE_*_LINKER_FLAGS_INIT, which a caller's linker flags replace.
add_link_options(-static $<$<CONFIG:Release>:-s>)
