// The result of an asynchronous operation: the object it produced, the caller's callback and state object,
// and a status. What MFCreateAsyncResult makes and the work queue hands to IMFAsyncCallback::Invoke.
#pragma once

#include "platform/mf/MfObjects.h"

#include <atomic>

namespace vistrel::mf {

class AsyncResult final : public UnknownImpl<IMFAsyncResult>
{
public:
    // Keeps a reference to each of the three that is not null.
    AsyncResult(IUnknown *object, IMFAsyncCallback *callback, IUnknown *state);

    // Calls the callback, if any, on the calling thread.
    void invoke();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    HRESULT STDMETHODCALLTYPE GetState(IUnknown **ppunkState) override;
    HRESULT STDMETHODCALLTYPE GetStatus() override;
    HRESULT STDMETHODCALLTYPE SetStatus(HRESULT hrStatus) override;
    HRESULT STDMETHODCALLTYPE GetObject(IUnknown **ppObject) override;
    IUnknown *STDMETHODCALLTYPE GetStateNoAddRef() override;

private:
    ~AsyncResult() override;

    IUnknown *const m_object;
    IMFAsyncCallback *const m_callback;
    IUnknown *const m_state;
    std::atomic<HRESULT> m_status{S_OK};
};

} // namespace vistrel::mf
