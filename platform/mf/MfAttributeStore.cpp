#include "platform/mf/MfAttributeStore.h"

#include <cstring>
#include <cwchar>

namespace vistrel::mf {

namespace {

bool isAttributeType(VARTYPE type)
{
    switch (type) {
    case MF_ATTRIBUTE_UINT32:
    case MF_ATTRIBUTE_UINT64:
    case MF_ATTRIBUTE_DOUBLE:
    case MF_ATTRIBUTE_GUID:
    case MF_ATTRIBUTE_STRING:
    case MF_ATTRIBUTE_BLOB:
    case MF_ATTRIBUTE_IUNKNOWN:
        return true;
    default:
        return false;
    }
}

void clearAll(std::vector<PROPVARIANT> &values)
{
    for (PROPVARIANT &value : values)
        PropVariantClear(&value);
    values.clear();
}

} // namespace

bool attributeValuesEqual(const PROPVARIANT &a, const PROPVARIANT &b)
{
    if (a.vt != b.vt)
        return false;
    switch (a.vt) {
    case MF_ATTRIBUTE_UINT32:
        return a.ulVal == b.ulVal;
    case MF_ATTRIBUTE_UINT64:
        return a.uhVal.QuadPart == b.uhVal.QuadPart;
    case MF_ATTRIBUTE_DOUBLE:
        return a.dblVal == b.dblVal;
    case MF_ATTRIBUTE_GUID:
        return IsEqualGUID(*a.puuid, *b.puuid);
    case MF_ATTRIBUTE_STRING:
        return std::wcscmp(a.pwszVal, b.pwszVal) == 0;
    case MF_ATTRIBUTE_BLOB:
        return a.caub.cElems == b.caub.cElems &&
               (a.caub.cElems == 0 || std::memcmp(a.caub.pElems, b.caub.pElems, a.caub.cElems) == 0);
    case MF_ATTRIBUTE_IUNKNOWN:
        return a.punkVal == b.punkVal;
    default:
        return false;
    }
}

AttributeStore::~AttributeStore()
{
    for (Item &item : m_items)
        PropVariantClear(&item.second);
}

const PROPVARIANT *AttributeStore::find(REFGUID key) const
{
    for (const Item &item : m_items) {
        if (IsEqualGUID(item.first, key))
            return &item.second;
    }
    return nullptr;
}

HRESULT AttributeStore::findTyped(REFGUID key, VARTYPE type, const PROPVARIANT **value) const
{
    *value = find(key);
    if (*value == nullptr)
        return MF_E_ATTRIBUTENOTFOUND;
    if ((*value)->vt != type) {
        *value = nullptr;
        return MF_E_INVALIDTYPE;
    }
    return S_OK;
}

HRESULT AttributeStore::store(REFGUID key, const PROPVARIANT &value, std::vector<PROPVARIANT> &removed)
{
    PROPVARIANT copy;
    PropVariantInit(&copy);
    const HRESULT hr = PropVariantCopy(&copy, &value);
    if (FAILED(hr))
        return hr;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (Item &item : m_items) {
        if (IsEqualGUID(item.first, key)) {
            removed.push_back(item.second);
            item.second = copy;
            return S_OK;
        }
    }
    m_items.emplace_back(key, copy);
    return S_OK;
}

HRESULT AttributeStore::getItem(REFGUID key, PROPVARIANT *value)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const PROPVARIANT *found = find(key);
    if (found == nullptr)
        return MF_E_ATTRIBUTENOTFOUND;
    // A null value only asks whether the key is there.
    return value == nullptr ? S_OK : PropVariantCopy(value, found);
}

HRESULT AttributeStore::getItemType(REFGUID key, MF_ATTRIBUTE_TYPE *type)
{
    if (type == nullptr)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const PROPVARIANT *found = find(key);
    if (found == nullptr)
        return MF_E_ATTRIBUTENOTFOUND;
    *type = static_cast<MF_ATTRIBUTE_TYPE>(found->vt);
    return S_OK;
}

HRESULT AttributeStore::compareItem(REFGUID key, REFPROPVARIANT value, BOOL *result)
{
    if (result == nullptr)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const PROPVARIANT *found = find(key);
    *result = found != nullptr && attributeValuesEqual(*found, value);
    return S_OK;
}

HRESULT AttributeStore::compare(IMFAttributes *theirs, MF_ATTRIBUTES_MATCH_TYPE matchType, BOOL *result)
{
    if (result == nullptr)
        return E_POINTER;
    *result = FALSE;
    if (theirs == nullptr)
        return E_POINTER;
    if (matchType < MF_ATTRIBUTES_MATCH_OUR_ITEMS || matchType > MF_ATTRIBUTES_MATCH_SMALLER)
        return E_INVALIDARG;

    std::lock_guard<std::recursive_mutex> lock(m_lock);
    UINT32 theirCount = 0;
    HRESULT hr = theirs->GetCount(&theirCount);
    if (FAILED(hr))
        return hr;

    // Each of our items has its equal in theirs (or, for an intersection, differs from theirs only by
    // absence).
    const auto oursIn = [&](bool absentIsFine) {
        for (const Item &item : m_items) {
            PROPVARIANT value;
            PropVariantInit(&value);
            if (FAILED(theirs->GetItem(item.first, &value))) {
                if (!absentIsFine)
                    return false;
                continue;
            }
            const bool equal = attributeValuesEqual(item.second, value);
            PropVariantClear(&value);
            if (!equal)
                return false;
        }
        return true;
    };
    const auto theirsIn = [&]() {
        for (UINT32 i = 0; i < theirCount; ++i) {
            GUID key;
            PROPVARIANT value;
            PropVariantInit(&value);
            if (FAILED(theirs->GetItemByIndex(i, &key, &value)))
                return false;
            const PROPVARIANT *ours = find(key);
            const bool equal = ours != nullptr && attributeValuesEqual(*ours, value);
            PropVariantClear(&value);
            if (!equal)
                return false;
        }
        return true;
    };

    switch (matchType) {
    case MF_ATTRIBUTES_MATCH_OUR_ITEMS:
        *result = oursIn(false);
        break;
    case MF_ATTRIBUTES_MATCH_THEIR_ITEMS:
        *result = theirsIn();
        break;
    case MF_ATTRIBUTES_MATCH_ALL_ITEMS:
        *result = m_items.size() == theirCount && oursIn(false);
        break;
    case MF_ATTRIBUTES_MATCH_INTERSECTION:
        *result = oursIn(true);
        break;
    case MF_ATTRIBUTES_MATCH_SMALLER:
        *result = m_items.size() <= theirCount ? oursIn(false) : theirsIn();
        break;
    }
    return S_OK;
}

HRESULT AttributeStore::getUINT32(REFGUID key, UINT32 *value)
{
    if (value == nullptr)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const PROPVARIANT *found = nullptr;
    const HRESULT hr = findTyped(key, MF_ATTRIBUTE_UINT32, &found);
    if (SUCCEEDED(hr))
        *value = found->ulVal;
    return hr;
}

HRESULT AttributeStore::getUINT64(REFGUID key, UINT64 *value)
{
    if (value == nullptr)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const PROPVARIANT *found = nullptr;
    const HRESULT hr = findTyped(key, MF_ATTRIBUTE_UINT64, &found);
    if (SUCCEEDED(hr))
        *value = found->uhVal.QuadPart;
    return hr;
}

HRESULT AttributeStore::getDouble(REFGUID key, double *value)
{
    if (value == nullptr)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const PROPVARIANT *found = nullptr;
    const HRESULT hr = findTyped(key, MF_ATTRIBUTE_DOUBLE, &found);
    if (SUCCEEDED(hr))
        *value = found->dblVal;
    return hr;
}

HRESULT AttributeStore::getGUID(REFGUID key, GUID *value)
{
    if (value == nullptr)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const PROPVARIANT *found = nullptr;
    const HRESULT hr = findTyped(key, MF_ATTRIBUTE_GUID, &found);
    if (SUCCEEDED(hr))
        *value = *found->puuid;
    return hr;
}

HRESULT AttributeStore::getStringLength(REFGUID key, UINT32 *length)
{
    if (length == nullptr)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const PROPVARIANT *found = nullptr;
    const HRESULT hr = findTyped(key, MF_ATTRIBUTE_STRING, &found);
    if (SUCCEEDED(hr))
        *length = static_cast<UINT32>(std::wcslen(found->pwszVal));
    return hr;
}

HRESULT AttributeStore::getString(REFGUID key, LPWSTR buffer, UINT32 bufferSize, UINT32 *length)
{
    if (buffer == nullptr)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const PROPVARIANT *found = nullptr;
    const HRESULT hr = findTyped(key, MF_ATTRIBUTE_STRING, &found);
    if (FAILED(hr))
        return hr;
    const size_t characters = std::wcslen(found->pwszVal);
    if (characters >= bufferSize)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    std::wmemcpy(buffer, found->pwszVal, characters + 1);
    if (length != nullptr)
        *length = static_cast<UINT32>(characters);
    return S_OK;
}

HRESULT AttributeStore::getAllocatedString(REFGUID key, LPWSTR *value, UINT32 *length)
{
    if (value == nullptr || length == nullptr)
        return E_POINTER;
    *value = nullptr;
    *length = 0;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const PROPVARIANT *found = nullptr;
    const HRESULT hr = findTyped(key, MF_ATTRIBUTE_STRING, &found);
    if (FAILED(hr))
        return hr;
    const size_t characters = std::wcslen(found->pwszVal);
    auto *copy = static_cast<LPWSTR>(CoTaskMemAlloc((characters + 1) * sizeof(WCHAR)));
    if (copy == nullptr)
        return E_OUTOFMEMORY;
    std::wmemcpy(copy, found->pwszVal, characters + 1);
    *value = copy;
    *length = static_cast<UINT32>(characters);
    return S_OK;
}

HRESULT AttributeStore::getBlobSize(REFGUID key, UINT32 *size)
{
    if (size == nullptr)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const PROPVARIANT *found = nullptr;
    const HRESULT hr = findTyped(key, MF_ATTRIBUTE_BLOB, &found);
    if (SUCCEEDED(hr))
        *size = found->caub.cElems;
    return hr;
}

HRESULT AttributeStore::getBlob(REFGUID key, UINT8 *buffer, UINT32 bufferSize, UINT32 *size)
{
    if (buffer == nullptr)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const PROPVARIANT *found = nullptr;
    const HRESULT hr = findTyped(key, MF_ATTRIBUTE_BLOB, &found);
    if (FAILED(hr))
        return hr;
    if (found->caub.cElems > bufferSize)
        return E_NOT_SUFFICIENT_BUFFER;
    if (found->caub.cElems != 0)
        std::memcpy(buffer, found->caub.pElems, found->caub.cElems);
    if (size != nullptr)
        *size = found->caub.cElems;
    return S_OK;
}

HRESULT AttributeStore::getAllocatedBlob(REFGUID key, UINT8 **buffer, UINT32 *size)
{
    if (buffer == nullptr || size == nullptr)
        return E_POINTER;
    *buffer = nullptr;
    *size = 0;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const PROPVARIANT *found = nullptr;
    const HRESULT hr = findTyped(key, MF_ATTRIBUTE_BLOB, &found);
    if (FAILED(hr))
        return hr;
    auto *copy = static_cast<UINT8 *>(CoTaskMemAlloc(found->caub.cElems == 0 ? 1 : found->caub.cElems));
    if (copy == nullptr)
        return E_OUTOFMEMORY;
    if (found->caub.cElems != 0)
        std::memcpy(copy, found->caub.pElems, found->caub.cElems);
    *buffer = copy;
    *size = found->caub.cElems;
    return S_OK;
}

HRESULT AttributeStore::getUnknown(REFGUID key, REFIID riid, LPVOID *ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    IUnknown *object = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        const PROPVARIANT *found = nullptr;
        const HRESULT hr = findTyped(key, MF_ATTRIBUTE_IUNKNOWN, &found);
        if (FAILED(hr))
            return hr;
        object = found->punkVal;
        if (object == nullptr)
            return E_NOINTERFACE;
        object->AddRef();
    }
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

HRESULT AttributeStore::setItem(REFGUID key, REFPROPVARIANT value)
{
    if (!isAttributeType(value.vt))
        return MF_E_INVALIDTYPE;
    std::vector<PROPVARIANT> removed;
    const HRESULT hr = store(key, value, removed);
    clearAll(removed);
    return hr;
}

HRESULT AttributeStore::deleteItem(REFGUID key)
{
    std::vector<PROPVARIANT> removed;
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        for (auto it = m_items.begin(); it != m_items.end(); ++it) {
            if (IsEqualGUID(it->first, key)) {
                removed.push_back(it->second);
                m_items.erase(it);
                break;
            }
        }
    }
    clearAll(removed);
    return S_OK;
}

HRESULT AttributeStore::deleteAllItems()
{
    std::vector<PROPVARIANT> removed;
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        for (Item &item : m_items)
            removed.push_back(item.second);
        m_items.clear();
    }
    clearAll(removed);
    return S_OK;
}

HRESULT AttributeStore::setUINT32(REFGUID key, UINT32 value)
{
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_UI4;
    v.ulVal = value;
    return setItem(key, v);
}

HRESULT AttributeStore::setUINT64(REFGUID key, UINT64 value)
{
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_UI8;
    v.uhVal.QuadPart = value;
    return setItem(key, v);
}

HRESULT AttributeStore::setDouble(REFGUID key, double value)
{
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    return setItem(key, v);
}

HRESULT AttributeStore::setGUID(REFGUID key, REFGUID value)
{
    GUID copy = value;
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_CLSID;
    v.puuid = &copy;
    return setItem(key, v);
}

HRESULT AttributeStore::setString(REFGUID key, LPCWSTR value)
{
    if (value == nullptr)
        return E_POINTER;
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_LPWSTR;
    v.pwszVal = const_cast<LPWSTR>(value);
    return setItem(key, v);
}

HRESULT AttributeStore::setBlob(REFGUID key, const UINT8 *buffer, UINT32 size)
{
    if (buffer == nullptr && size != 0)
        return E_POINTER;
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_VECTOR | VT_UI1;
    v.caub.cElems = size;
    v.caub.pElems = const_cast<UINT8 *>(buffer);
    return setItem(key, v);
}

HRESULT AttributeStore::setUnknown(REFGUID key, IUnknown *value)
{
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = value;
    return setItem(key, v);
}

HRESULT AttributeStore::lockStore()
{
    m_lock.lock();
    return S_OK;
}

HRESULT AttributeStore::unlockStore()
{
    m_lock.unlock();
    return S_OK;
}

HRESULT AttributeStore::getCount(UINT32 *count)
{
    if (count == nullptr)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    *count = static_cast<UINT32>(m_items.size());
    return S_OK;
}

HRESULT AttributeStore::getItemByIndex(UINT32 index, GUID *key, PROPVARIANT *value)
{
    if (key == nullptr)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (index >= m_items.size())
        return E_INVALIDARG;
    *key = m_items[index].first;
    return value == nullptr ? S_OK : PropVariantCopy(value, &m_items[index].second);
}

HRESULT AttributeStore::copyAllItems(IMFAttributes *destination)
{
    if (destination == nullptr)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    HRESULT hr = destination->DeleteAllItems();
    for (const Item &item : m_items) {
        if (FAILED(hr))
            break;
        hr = destination->SetItem(item.first, item.second);
    }
    return hr;
}

} // namespace vistrel::mf
