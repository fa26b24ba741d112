# 32-bit Windows with Debian's mingw-w64, for 32-bit applications and the settings program.
set(CMAKE_SYSTEM_PROCESSOR X86)
set(VISTREL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/windows-mingw.cmake)

# The COM and camera SDK entry points are stdcall, decorated (DllGetClassObject@12) in the objects; the export
# files name them undecorated, as Windows looks them up.
add_link_options(-Wl,--enable-stdcall-fixup)
