#pragma once

// How the camera SDK's library is found and its operations are looked up at run time. The Windows library
// exports its operations by ordinal; ours by name.
#include <cstdint>

namespace EdsLibrary {

#ifdef _WIN32
// The SDK's calling convention, for pointers to its functions.
#define EDS_CALL __stdcall

inline constexpr const char *fileName = "EDSDK.dll";

// GetProcAddress's second argument for an operation: its ordinal as a resource-style integer.
inline const char *procName(unsigned short ordinal, const char * /*name*/)
{
    return reinterpret_cast<const char *>(static_cast<uintptr_t>(ordinal));
}
#else
#define EDS_CALL

inline constexpr const char *fileName = "libEDSDK.so";

inline const char *procName(unsigned short /*ordinal*/, const char *name)
{
    return name;
}
#endif

} // namespace EdsLibrary
