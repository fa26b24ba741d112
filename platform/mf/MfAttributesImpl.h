// IMFAttributes for any stand-in interface derived from it, answered by one AttributeStore.
#pragma once

#include "platform/mf/MfAttributeStore.h"
#include "platform/mf/MfObjects.h"

namespace vistrel::mf {

template <class Interface> class AttributesImpl : public UnknownImpl<Interface>
{
public:
    HRESULT STDMETHODCALLTYPE GetItem(REFGUID guidKey, PROPVARIANT *pValue) override
    {
        return m_attributes.getItem(guidKey, pValue);
    }
    HRESULT STDMETHODCALLTYPE GetItemType(REFGUID guidKey, MF_ATTRIBUTE_TYPE *pType) override
    {
        return m_attributes.getItemType(guidKey, pType);
    }
    HRESULT STDMETHODCALLTYPE CompareItem(REFGUID guidKey, REFPROPVARIANT Value, BOOL *pbResult) override
    {
        return m_attributes.compareItem(guidKey, Value, pbResult);
    }
    HRESULT STDMETHODCALLTYPE Compare(IMFAttributes *pTheirs, MF_ATTRIBUTES_MATCH_TYPE MatchType,
                                      BOOL *pbResult) override
    {
        return m_attributes.compare(pTheirs, MatchType, pbResult);
    }
    HRESULT STDMETHODCALLTYPE GetUINT32(REFGUID guidKey, UINT32 *punValue) override
    {
        return m_attributes.getUINT32(guidKey, punValue);
    }
    HRESULT STDMETHODCALLTYPE GetUINT64(REFGUID guidKey, UINT64 *punValue) override
    {
        return m_attributes.getUINT64(guidKey, punValue);
    }
    HRESULT STDMETHODCALLTYPE GetDouble(REFGUID guidKey, double *pfValue) override
    {
        return m_attributes.getDouble(guidKey, pfValue);
    }
    HRESULT STDMETHODCALLTYPE GetGUID(REFGUID guidKey, GUID *pguidValue) override
    {
        return m_attributes.getGUID(guidKey, pguidValue);
    }
    HRESULT STDMETHODCALLTYPE GetStringLength(REFGUID guidKey, UINT32 *pcchLength) override
    {
        return m_attributes.getStringLength(guidKey, pcchLength);
    }
    HRESULT STDMETHODCALLTYPE GetString(REFGUID guidKey, LPWSTR pwszValue, UINT32 cchBufSize,
                                        UINT32 *pcchLength) override
    {
        return m_attributes.getString(guidKey, pwszValue, cchBufSize, pcchLength);
    }
    HRESULT STDMETHODCALLTYPE GetAllocatedString(REFGUID guidKey, LPWSTR *ppwszValue,
                                                 UINT32 *pcchLength) override
    {
        return m_attributes.getAllocatedString(guidKey, ppwszValue, pcchLength);
    }
    HRESULT STDMETHODCALLTYPE GetBlobSize(REFGUID guidKey, UINT32 *pcbBlobSize) override
    {
        return m_attributes.getBlobSize(guidKey, pcbBlobSize);
    }
    HRESULT STDMETHODCALLTYPE GetBlob(REFGUID guidKey, UINT8 *pBuf, UINT32 cbBufSize,
                                      UINT32 *pcbBlobSize) override
    {
        return m_attributes.getBlob(guidKey, pBuf, cbBufSize, pcbBlobSize);
    }
    HRESULT STDMETHODCALLTYPE GetAllocatedBlob(REFGUID guidKey, UINT8 **ppBuf, UINT32 *pcbSize) override
    {
        return m_attributes.getAllocatedBlob(guidKey, ppBuf, pcbSize);
    }
    HRESULT STDMETHODCALLTYPE GetUnknown(REFGUID guidKey, REFIID riid, LPVOID *ppv) override
    {
        return m_attributes.getUnknown(guidKey, riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE SetItem(REFGUID guidKey, REFPROPVARIANT Value) override
    {
        return m_attributes.setItem(guidKey, Value);
    }
    HRESULT STDMETHODCALLTYPE DeleteItem(REFGUID guidKey) override
    {
        return m_attributes.deleteItem(guidKey);
    }
    HRESULT STDMETHODCALLTYPE DeleteAllItems() override { return m_attributes.deleteAllItems(); }
    HRESULT STDMETHODCALLTYPE SetUINT32(REFGUID guidKey, UINT32 unValue) override
    {
        return m_attributes.setUINT32(guidKey, unValue);
    }
    HRESULT STDMETHODCALLTYPE SetUINT64(REFGUID guidKey, UINT64 unValue) override
    {
        return m_attributes.setUINT64(guidKey, unValue);
    }
    HRESULT STDMETHODCALLTYPE SetDouble(REFGUID guidKey, double fValue) override
    {
        return m_attributes.setDouble(guidKey, fValue);
    }
    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guidKey, REFGUID guidValue) override
    {
        return m_attributes.setGUID(guidKey, guidValue);
    }
    HRESULT STDMETHODCALLTYPE SetString(REFGUID guidKey, LPCWSTR wszValue) override
    {
        return m_attributes.setString(guidKey, wszValue);
    }
    HRESULT STDMETHODCALLTYPE SetBlob(REFGUID guidKey, const UINT8 *pBuf, UINT32 cbBufSize) override
    {
        return m_attributes.setBlob(guidKey, pBuf, cbBufSize);
    }
    HRESULT STDMETHODCALLTYPE SetUnknown(REFGUID guidKey, IUnknown *pUnknown) override
    {
        return m_attributes.setUnknown(guidKey, pUnknown);
    }
    HRESULT STDMETHODCALLTYPE LockStore() override { return m_attributes.lockStore(); }
    HRESULT STDMETHODCALLTYPE UnlockStore() override { return m_attributes.unlockStore(); }
    HRESULT STDMETHODCALLTYPE GetCount(UINT32 *pcItems) override { return m_attributes.getCount(pcItems); }
    HRESULT STDMETHODCALLTYPE GetItemByIndex(UINT32 unIndex, GUID *pguidKey, PROPVARIANT *pValue) override
    {
        return m_attributes.getItemByIndex(unIndex, pguidKey, pValue);
    }
    HRESULT STDMETHODCALLTYPE CopyAllItems(IMFAttributes *pDest) override
    {
        return m_attributes.copyAllItems(pDest);
    }

protected:
    AttributeStore m_attributes;
};

} // namespace vistrel::mf
