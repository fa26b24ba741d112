// A media event: its type, extended type, status and value, plus attributes (MFCreateMediaEvent).
#include "platform/mf/MfAttributesImpl.h"

namespace vistrel::mf {
namespace {

class MediaEvent final : public AttributesImpl<IMFMediaEvent>
{
public:
    MediaEvent(MediaEventType type, REFGUID extendedType, HRESULT status, const PROPVARIANT &value)
        : m_type(type), m_extendedType(extendedType), m_status(status), m_value(value)
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        return answer(this, riid, ppv, {&IID_IMFAttributes, &IID_IMFMediaEvent});
    }

    HRESULT STDMETHODCALLTYPE GetType(MediaEventType *pmet) override
    {
        if (pmet == nullptr)
            return E_POINTER;
        *pmet = m_type;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetExtendedType(GUID *pguidExtendedType) override
    {
        if (pguidExtendedType == nullptr)
            return E_POINTER;
        *pguidExtendedType = m_extendedType;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetStatus(HRESULT *phrStatus) override
    {
        if (phrStatus == nullptr)
            return E_POINTER;
        *phrStatus = m_status;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetValue(PROPVARIANT *pvValue) override
    {
        if (pvValue == nullptr)
            return E_POINTER;
        return PropVariantCopy(pvValue, &m_value);
    }

private:
    ~MediaEvent() override { PropVariantClear(&m_value); }

    const MediaEventType m_type;
    const GUID m_extendedType;
    const HRESULT m_status;
    PROPVARIANT m_value; // owned: a copy made by MFCreateMediaEvent
};

} // namespace
} // namespace vistrel::mf

HRESULT MFCreateMediaEvent(MediaEventType met, REFGUID guidExtendedType, HRESULT hrStatus,
                           const PROPVARIANT *pvValue, IMFMediaEvent **ppEvent)
{
    if (ppEvent == nullptr)
        return E_POINTER;
    *ppEvent = nullptr;
    PROPVARIANT value;
    PropVariantInit(&value);
    if (pvValue != nullptr) {
        const HRESULT hr = PropVariantCopy(&value, pvValue);
        if (FAILED(hr))
            return hr;
    }
    *ppEvent = new vistrel::mf::MediaEvent(met, guidExtendedType, hrStatus, value);
    return S_OK;
}
