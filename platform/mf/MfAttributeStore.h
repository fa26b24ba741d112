// The attribute store behind every stand-in object that is an IMFAttributes (attributes, media types, events,
// descriptors, samples): typed values by GUID, in the order they were first set, with Windows' answers for
// missing keys and wrong types.
#pragma once

#include "platform/mf/mfidl.h"

#include <mutex>
#include <utility>
#include <vector>

namespace vistrel::mf {

class AttributeStore
{
public:
    AttributeStore() = default;
    AttributeStore(const AttributeStore &) = delete;
    AttributeStore &operator=(const AttributeStore &) = delete;
    ~AttributeStore();

    HRESULT getItem(REFGUID key, PROPVARIANT *value);
    HRESULT getItemType(REFGUID key, MF_ATTRIBUTE_TYPE *type);
    HRESULT compareItem(REFGUID key, REFPROPVARIANT value, BOOL *result);
    HRESULT compare(IMFAttributes *theirs, MF_ATTRIBUTES_MATCH_TYPE matchType, BOOL *result);
    HRESULT getUINT32(REFGUID key, UINT32 *value);
    HRESULT getUINT64(REFGUID key, UINT64 *value);
    HRESULT getDouble(REFGUID key, double *value);
    HRESULT getGUID(REFGUID key, GUID *value);
    HRESULT getStringLength(REFGUID key, UINT32 *length);
    HRESULT getString(REFGUID key, LPWSTR buffer, UINT32 bufferSize, UINT32 *length);
    HRESULT getAllocatedString(REFGUID key, LPWSTR *value, UINT32 *length);
    HRESULT getBlobSize(REFGUID key, UINT32 *size);
    HRESULT getBlob(REFGUID key, UINT8 *buffer, UINT32 bufferSize, UINT32 *size);
    HRESULT getAllocatedBlob(REFGUID key, UINT8 **buffer, UINT32 *size);
    HRESULT getUnknown(REFGUID key, REFIID riid, LPVOID *ppv);
    HRESULT setItem(REFGUID key, REFPROPVARIANT value);
    HRESULT deleteItem(REFGUID key);
    HRESULT deleteAllItems();
    HRESULT setUINT32(REFGUID key, UINT32 value);
    HRESULT setUINT64(REFGUID key, UINT64 value);
    HRESULT setDouble(REFGUID key, double value);
    HRESULT setGUID(REFGUID key, REFGUID value);
    HRESULT setString(REFGUID key, LPCWSTR value);
    HRESULT setBlob(REFGUID key, const UINT8 *buffer, UINT32 size);
    HRESULT setUnknown(REFGUID key, IUnknown *value);
    HRESULT lockStore();
    HRESULT unlockStore();
    HRESULT getCount(UINT32 *count);
    HRESULT getItemByIndex(UINT32 index, GUID *key, PROPVARIANT *value);
    HRESULT copyAllItems(IMFAttributes *destination);

private:
    using Item = std::pair<GUID, PROPVARIANT>;

    // Null when the key is not there. Called with the lock held.
    const PROPVARIANT *find(REFGUID key) const;
    // Answers the value of `key` if it has `type`: MF_E_ATTRIBUTENOTFOUND or MF_E_INVALIDTYPE otherwise.
    HRESULT findTyped(REFGUID key, VARTYPE type, const PROPVARIANT **value) const;
    // Replaces or adds a copy of `value`, whose type was checked. Outgoing values are released by the caller,
    // outside the lock, since releasing an object may call back into this one.
    HRESULT store(REFGUID key, const PROPVARIANT &value, std::vector<PROPVARIANT> &removed);

    mutable std::recursive_mutex m_lock;
    std::vector<Item> m_items;
};

// Whether two values are equal as attribute values: same type and same content (objects by identity).
bool attributeValuesEqual(const PROPVARIANT &a, const PROPVARIANT &b);

} // namespace vistrel::mf
