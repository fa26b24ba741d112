// The system device enumerator (CLSID_SystemDeviceEnum): lists the entries of a device category that the
// filter mapper has written, one moniker per entry.
#pragma once

#include "platform/dshow/RuntimeObjects.h"
#include "platform/dshow/dshow.h"

namespace vistrel::dshow {

class DeviceEnumerator final : public ICreateDevEnum, private LiveObject
{
public:
    static HRESULT create(IUnknown *outer, REFIID riid, void **ppv);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // S_FALSE with a null enumerator when the category has no entries, as on Windows. With
    // CDEF_MERIT_ABOVE_DO_NOT_USE, entries of merit MERIT_DO_NOT_USE or less are left out.
    HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker **ppEnumMoniker,
                                                    DWORD dwFlags) override;

private:
    DeviceEnumerator() = default;

    RefCount m_refs;
};

} // namespace vistrel::dshow
