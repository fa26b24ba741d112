#include "platform/mf/MfAsyncResult.h"

#include "platform/mf/MfWorkQueue.h"

namespace vistrel::mf {

namespace {

template <class T> T *keep(T *object)
{
    if (object != nullptr)
        object->AddRef();
    return object;
}

} // namespace

AsyncResult::AsyncResult(IUnknown *object, IMFAsyncCallback *callback, IUnknown *state)
    : m_object(keep(object)), m_callback(keep(callback)), m_state(keep(state))
{
}

AsyncResult::~AsyncResult()
{
    if (m_object != nullptr)
        m_object->Release();
    if (m_callback != nullptr)
        m_callback->Release();
    if (m_state != nullptr)
        m_state->Release();
}

void AsyncResult::invoke()
{
    if (m_callback != nullptr)
        m_callback->Invoke(this);
}

HRESULT AsyncResult::QueryInterface(REFIID riid, void **ppv)
{
    return answer(this, riid, ppv, {&IID_IMFAsyncResult});
}

HRESULT AsyncResult::GetState(IUnknown **ppunkState)
{
    if (ppunkState == nullptr)
        return E_POINTER;
    *ppunkState = keep(m_state);
    // Windows answers E_POINTER when there is no state object.
    return m_state != nullptr ? S_OK : E_POINTER;
}

HRESULT AsyncResult::GetStatus()
{
    return m_status.load();
}

HRESULT AsyncResult::SetStatus(HRESULT hrStatus)
{
    m_status.store(hrStatus);
    return S_OK;
}

HRESULT AsyncResult::GetObject(IUnknown **ppObject)
{
    if (ppObject == nullptr)
        return E_POINTER;
    *ppObject = keep(m_object);
    // Windows answers E_POINTER when there is no object.
    return m_object != nullptr ? S_OK : E_POINTER;
}

IUnknown *AsyncResult::GetStateNoAddRef()
{
    return m_state;
}

} // namespace vistrel::mf

using vistrel::mf::AsyncResult;

HRESULT MFCreateAsyncResult(IUnknown *punkObject, IMFAsyncCallback *pCallback, IUnknown *punkState,
                            IMFAsyncResult **ppAsyncResult)
{
    if (ppAsyncResult == nullptr)
        return E_POINTER;
    *ppAsyncResult = new AsyncResult(punkObject, pCallback, punkState);
    return S_OK;
}

HRESULT MFInvokeCallback(IMFAsyncResult *pAsyncResult)
{
    // Only results of MFCreateAsyncResult know their callback, as on Windows.
    auto *result = dynamic_cast<AsyncResult *>(pAsyncResult);
    if (result == nullptr)
        return E_INVALIDARG;
    return vistrel::mf::putWorkItem(result);
}
