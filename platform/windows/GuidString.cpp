// GUIDs as registry-key text: "{6414549A-DB61-4309-AFA1-4578E927E234}", upper-case hex.
#include "platform/windows/win32.h"

#include <cstdio>
#include <cwchar>

namespace {

constexpr int kGuidChars = 38; // without the terminator

int hexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// Reads `digits` hex digits at `text`; false on anything else.
bool readHex(const wchar_t *text, int digits, unsigned long long &value)
{
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int v = hexValue(text[i]);
        if (v < 0)
            return false;
        value = (value << 4) | unsigned(v);
    }
    return true;
}

bool parseGuid(LPCOLESTR text, GUID &guid)
{
    if (std::wcslen(text) != size_t(kGuidChars) || text[0] != L'{' || text[37] != L'}' || text[9] != L'-' ||
        text[14] != L'-' || text[19] != L'-' || text[24] != L'-')
        return false;
    unsigned long long v = 0;
    if (!readHex(text + 1, 8, v))
        return false;
    guid.Data1 = DWORD(v);
    if (!readHex(text + 10, 4, v))
        return false;
    guid.Data2 = WORD(v);
    if (!readHex(text + 15, 4, v))
        return false;
    guid.Data3 = WORD(v);
    static const int offsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!readHex(text + offsets[i], 2, v))
            return false;
        guid.Data4[i] = BYTE(v);
    }
    return true;
}

HRESULT allocatedString(REFGUID guid, LPOLESTR *out)
{
    if (!out)
        return E_INVALIDARG;
    *out = static_cast<LPOLESTR>(CoTaskMemAlloc((kGuidChars + 1) * sizeof(OLECHAR)));
    if (!*out)
        return E_OUTOFMEMORY;
    StringFromGUID2(guid, *out, kGuidChars + 1);
    return S_OK;
}

} // namespace

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax)
{
    if (!lpsz || cchMax < kGuidChars + 1)
        return 0;
    std::swprintf(lpsz, size_t(cchMax), L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  unsigned(rguid.Data1), unsigned(rguid.Data2), unsigned(rguid.Data3), rguid.Data4[0],
                  rguid.Data4[1], rguid.Data4[2], rguid.Data4[3], rguid.Data4[4], rguid.Data4[5],
                  rguid.Data4[6], rguid.Data4[7]);
    return kGuidChars + 1;
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR *lplpsz)
{
    return allocatedString(rclsid, lplpsz);
}

HRESULT StringFromIID(REFIID rclsid, LPOLESTR *lplpsz)
{
    return allocatedString(rclsid, lplpsz);
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid)
{
    if (!pclsid)
        return E_INVALIDARG;
    *pclsid = GUID_NULL;
    if (!lpsz)
        return S_OK; // as Windows: no string means CLSID_NULL
    GUID parsed{};
    if (!parseGuid(lpsz, parsed))
        return CO_E_CLASSSTRING;
    *pclsid = parsed;
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid)
{
    if (!lpiid)
        return E_INVALIDARG;
    *lpiid = GUID_NULL;
    if (!lpsz)
        return S_OK;
    GUID parsed{};
    if (!parseGuid(lpsz, parsed))
        return E_INVALIDARG;
    *lpiid = parsed;
    return S_OK;
}
