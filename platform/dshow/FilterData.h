// The "FilterData" value that the filter mapper writes beside a registered filter: its merit and pins.
// Windows keeps this value in a private binary form; ours is documented here so that tools and tests can read
// it.
//
// All integers are little-endian 32-bit; a GUID is its 16 bytes in Windows' memory layout (Data1, Data2,
// Data3 little-endian, then Data4); a string is a 32-bit count of UTF-16 code units followed by the units,
// without a terminator.
//
//   u32 signature 0x44465456 ("VTFD")
//   u32 REGFILTER2 version (1 or 2)
//   u32 merit
//   u32 pin count, then per pin:
//     u32 flags (REG_PINFLAG_B_ZERO 1, _RENDERER 2, _MANY 4, _OUTPUT 8)
//     u32 instances (version 2; 0 in version 1)
//     string name (version 1; empty in version 2)
//     GUID connects-to filter (GUID_NULL when none)
//     string connects-to pin (empty when none)
//     GUID pin category (version 2; GUID_NULL when none)
//     u32 media type count, then per type: GUID major type, GUID subtype (GUID_NULL for a null pointer)
//     u32 medium count, then per medium: GUID medium, u32 dw1, u32 dw2
#pragma once

#include "platform/dshow/dshow.h"

#include <string>
#include <utility>
#include <vector>

namespace vistrel::dshow {

struct RegisteredPin
{
    std::wstring name;
    DWORD flags = 0;
    UINT instances = 0;
    GUID connectsToFilter = GUID_NULL;
    std::wstring connectsToPin;
    GUID category = GUID_NULL;
    std::vector<std::pair<GUID, GUID>> mediaTypes;
    std::vector<REGPINMEDIUM> mediums;
};

struct RegisteredFilter
{
    DWORD version = 0;
    DWORD merit = 0;
    std::vector<RegisteredPin> pins;
};

constexpr DWORD kFilterDataSignature = 0x44465456;

// E_INVALIDARG for a version other than 1 or 2, E_POINTER for a pin or type array that is announced but null.
HRESULT encodeFilterData(const REGFILTER2 &filter, std::vector<BYTE> &out);
// False for anything that is not a complete, well-formed record.
bool decodeFilterData(const BYTE *data, size_t size, RegisteredFilter &out);

} // namespace vistrel::dshow
