// Shared bits of the Media Foundation stand-in's tests.
#pragma once

#include "platform/mf/mfidl.h"
#include "platform/windows/ComPtr.h"

#include <atomic>
#include <functional>
#include <utility>

// The current reference count of a COM object, seen from outside.
inline ULONG referenceCount(IUnknown *object)
{
    object->AddRef();
    return object->Release();
}

// An IMFAsyncCallback that runs a function on each Invoke.
class FunctionCallback final : public IMFAsyncCallback
{
public:
    explicit FunctionCallback(std::function<void(IMFAsyncResult *)> invoke) : m_invoke(std::move(invoke)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IMFAsyncCallback))
            return E_NOINTERFACE;
        *ppv = static_cast<IMFAsyncCallback *>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetParameters(DWORD *, DWORD *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(IMFAsyncResult *pAsyncResult) override
    {
        m_invoke(pAsyncResult);
        return S_OK;
    }

private:
    ~FunctionCallback() = default;

    std::function<void(IMFAsyncResult *)> m_invoke;
    std::atomic<ULONG> m_refs{1};
};

inline ComPtr<IMFAsyncCallback> makeCallback(std::function<void(IMFAsyncResult *)> invoke)
{
    return adoptComPtr<IMFAsyncCallback>(new FunctionCallback(std::move(invoke)));
}

// A video media type of the given subtype, size and frame rate.
inline ComPtr<IMFMediaType> makeVideoType(REFGUID subtype, UINT32 width, UINT32 height, UINT32 fps)
{
    ComPtr<IMFMediaType> type;
    if (FAILED(MFCreateMediaType(type.ReleaseAndGetAddressOf())))
        return {};
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, subtype);
    if (width != 0)
        MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, width, height);
    if (fps != 0)
        MFSetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, fps, 1);
    return type;
}
