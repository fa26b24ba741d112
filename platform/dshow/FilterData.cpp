#include "platform/dshow/FilterData.h"

#include <cwchar>

namespace vistrel::dshow {

namespace {

// Beyond this a record is damaged, not large.
constexpr DWORD kMaxCount = 4096;

class Writer
{
public:
    explicit Writer(std::vector<BYTE> &out) : m_out(out) {}
    void u32(DWORD value)
    {
        for (int i = 0; i < 4; ++i)
            m_out.push_back(static_cast<BYTE>(value >> (8 * i)));
    }
    void u16(WORD value)
    {
        m_out.push_back(static_cast<BYTE>(value));
        m_out.push_back(static_cast<BYTE>(value >> 8));
    }
    void guid(const GUID *value)
    {
        const GUID g = value ? *value : GUID_NULL;
        u32(g.Data1);
        u16(g.Data2);
        u16(g.Data3);
        for (BYTE b : g.Data4)
            m_out.push_back(b);
    }
    void text(const WCHAR *value)
    {
        std::vector<WORD> units;
        for (const WCHAR *p = value; p && *p; ++p) {
            const unsigned long c = static_cast<unsigned long>(*p);
            if (c > 0xFFFF && c <= 0x10FFFF) {
                units.push_back(static_cast<WORD>(0xD800 + ((c - 0x10000) >> 10)));
                units.push_back(static_cast<WORD>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            } else {
                units.push_back(static_cast<WORD>(c));
            }
        }
        u32(static_cast<DWORD>(units.size()));
        for (WORD unit : units)
            u16(unit);
    }

private:
    std::vector<BYTE> &m_out;
};

class Reader
{
public:
    Reader(const BYTE *data, size_t size) : m_data(data), m_size(size) {}
    bool u32(DWORD &value)
    {
        if (!take(4))
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<DWORD>(m_data[m_pos - 4 + i]) << (8 * i);
        return true;
    }
    bool u16(WORD &value)
    {
        if (!take(2))
            return false;
        value = static_cast<WORD>(m_data[m_pos - 2] | (m_data[m_pos - 1] << 8));
        return true;
    }
    bool guid(GUID &value)
    {
        if (!u32(value.Data1) || !u16(value.Data2) || !u16(value.Data3) || !take(8))
            return false;
        for (int i = 0; i < 8; ++i)
            value.Data4[i] = m_data[m_pos - 8 + i];
        return true;
    }
    bool text(std::wstring &value)
    {
        DWORD count = 0;
        if (!u32(count) || count > (m_size - m_pos) / 2)
            return false;
        value.clear();
        for (DWORD i = 0; i < count; ++i) {
            WORD unit = 0;
            u16(unit);
            value.push_back(static_cast<wchar_t>(unit));
            // Where wchar_t holds whole code points, a surrogate pair becomes one character again.
            const size_t n = value.size();
            if (sizeof(wchar_t) == 4 && n >= 2 && value[n - 2] >= 0xD800 && value[n - 2] < 0xDC00 &&
                value[n - 1] >= 0xDC00 && value[n - 1] < 0xE000) {
                const auto high = static_cast<unsigned long>(value[n - 2]);
                const auto low = static_cast<unsigned long>(value[n - 1]);
                value.resize(n - 2);
                value.push_back(static_cast<wchar_t>(0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00)));
            }
        }
        return true;
    }
    bool count(DWORD &value) { return u32(value) && value <= kMaxCount; }
    bool atEnd() const { return m_pos == m_size; }

private:
    bool take(size_t n)
    {
        if (m_size - m_pos < n)
            return false;
        m_pos += n;
        return true;
    }
    const BYTE *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

void writeTypes(Writer &w, UINT count, const REGPINTYPES *types)
{
    w.u32(count);
    for (UINT i = 0; i < count; ++i) {
        w.guid(types[i].clsMajorType);
        w.guid(types[i].clsMinorType);
    }
}

} // namespace

HRESULT encodeFilterData(const REGFILTER2 &filter, std::vector<BYTE> &out)
{
    out.clear();
    if (filter.dwVersion != 1 && filter.dwVersion != 2)
        return E_INVALIDARG;
    Writer w(out);
    w.u32(kFilterDataSignature);
    w.u32(filter.dwVersion);
    w.u32(filter.dwMerit);
    if (filter.dwVersion == 1) {
        if (filter.cPins > kMaxCount)
            return E_INVALIDARG;
        if (filter.cPins > 0 && !filter.rgPins)
            return E_POINTER;
        w.u32(filter.cPins);
        for (ULONG i = 0; i < filter.cPins; ++i) {
            const REGFILTERPINS &pin = filter.rgPins[i];
            if (pin.nMediaTypes > kMaxCount)
                return E_INVALIDARG;
            if (pin.nMediaTypes > 0 && !pin.lpMediaType)
                return E_POINTER;
            w.u32((pin.bZero ? REG_PINFLAG_B_ZERO : 0) | (pin.bRendered ? REG_PINFLAG_B_RENDERER : 0) |
                  (pin.bMany ? REG_PINFLAG_B_MANY : 0) | (pin.bOutput ? REG_PINFLAG_B_OUTPUT : 0));
            w.u32(0);
            w.text(pin.strName);
            w.guid(pin.clsConnectsToFilter);
            w.text(pin.strConnectsToPin);
            w.guid(nullptr);
            writeTypes(w, pin.nMediaTypes, pin.lpMediaType);
            w.u32(0);
        }
        return S_OK;
    }
    if (filter.cPins2 > kMaxCount)
        return E_INVALIDARG;
    if (filter.cPins2 > 0 && !filter.rgPins2)
        return E_POINTER;
    w.u32(filter.cPins2);
    for (ULONG i = 0; i < filter.cPins2; ++i) {
        const REGFILTERPINS2 &pin = filter.rgPins2[i];
        if (pin.nMediaTypes > kMaxCount || pin.nMediums > kMaxCount)
            return E_INVALIDARG;
        if ((pin.nMediaTypes > 0 && !pin.lpMediaType) || (pin.nMediums > 0 && !pin.lpMedium))
            return E_POINTER;
        w.u32(pin.dwFlags);
        w.u32(pin.cInstances);
        w.text(nullptr);
        w.guid(nullptr);
        w.text(nullptr);
        w.guid(pin.clsPinCategory);
        writeTypes(w, pin.nMediaTypes, pin.lpMediaType);
        w.u32(pin.nMediums);
        for (UINT m = 0; m < pin.nMediums; ++m) {
            w.guid(&pin.lpMedium[m].clsMedium);
            w.u32(pin.lpMedium[m].dw1);
            w.u32(pin.lpMedium[m].dw2);
        }
    }
    return S_OK;
}

bool decodeFilterData(const BYTE *data, size_t size, RegisteredFilter &out)
{
    out = RegisteredFilter();
    if (!data)
        return false;
    Reader r(data, size);
    DWORD signature = 0;
    DWORD pinCount = 0;
    if (!r.u32(signature) || signature != kFilterDataSignature || !r.u32(out.version) || !r.u32(out.merit) ||
        !r.count(pinCount))
        return false;
    if (out.version != 1 && out.version != 2)
        return false;
    for (DWORD i = 0; i < pinCount; ++i) {
        RegisteredPin pin;
        DWORD instances = 0;
        DWORD typeCount = 0;
        if (!r.u32(pin.flags) || !r.u32(instances) || !r.text(pin.name) || !r.guid(pin.connectsToFilter) ||
            !r.text(pin.connectsToPin) || !r.guid(pin.category) || !r.count(typeCount))
            return false;
        pin.instances = instances;
        for (DWORD t = 0; t < typeCount; ++t) {
            GUID major{};
            GUID minor{};
            if (!r.guid(major) || !r.guid(minor))
                return false;
            pin.mediaTypes.emplace_back(major, minor);
        }
        DWORD mediumCount = 0;
        if (!r.count(mediumCount))
            return false;
        for (DWORD m = 0; m < mediumCount; ++m) {
            REGPINMEDIUM medium{};
            if (!r.guid(medium.clsMedium) || !r.u32(medium.dw1) || !r.u32(medium.dw2))
                return false;
            pin.mediums.push_back(medium);
        }
        out.pins.push_back(std::move(pin));
    }
    return r.atEnd();
}

} // namespace vistrel::dshow
