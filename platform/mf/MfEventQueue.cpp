// The event queue behind every media source and stream (MFCreateEventQueue). As on Windows: GetEvent blocks
// until an event comes (or fails at once with MF_EVENT_FLAG_NO_WAIT); one BeginGetEvent may be pending, and
// its callback runs on a work queue thread once an event is there; after Shutdown everything is
// MF_E_SHUTDOWN.
#include "platform/mf/MfAsyncResult.h"
#include "platform/mf/MfObjects.h"
#include "platform/mf/MfWorkQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace vistrel::mf {
namespace {

class EventQueue final : public UnknownImpl<IMFMediaEventQueue>
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        return answer(this, riid, ppv, {&IID_IMFMediaEventQueue});
    }

    HRESULT STDMETHODCALLTYPE GetEvent(DWORD dwFlags, IMFMediaEvent **ppEvent) override
    {
        if (ppEvent == nullptr)
            return E_POINTER;
        *ppEvent = nullptr;
        std::unique_lock<std::mutex> lock(m_lock);
        if (m_shutdown)
            return MF_E_SHUTDOWN;
        if (m_callback != nullptr || m_waiting)
            return MF_E_MULTIPLE_SUBSCRIBERS;
        if (m_events.empty()) {
            if (dwFlags & MF_EVENT_FLAG_NO_WAIT)
                return MF_E_NO_EVENTS_AVAILABLE;
            m_waiting = true;
            m_arrived.wait(lock, [this] { return m_shutdown || !m_events.empty(); });
            m_waiting = false;
            if (m_shutdown)
                return MF_E_SHUTDOWN;
        }
        *ppEvent = m_events.front();
        m_events.pop_front();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE BeginGetEvent(IMFAsyncCallback *pCallback, IUnknown *punkState) override
    {
        if (pCallback == nullptr)
            return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_shutdown)
            return MF_E_SHUTDOWN;
        if (m_callback != nullptr) {
            if (m_callback != pCallback)
                return MF_E_MULTIPLE_SUBSCRIBERS;
            return m_state == punkState ? MF_S_MULTIPLE_BEGIN : MF_E_MULTIPLE_BEGIN;
        }
        if (m_waiting)
            return MF_E_MULTIPLE_SUBSCRIBERS;
        pCallback->AddRef();
        if (punkState != nullptr)
            punkState->AddRef();
        m_callback = pCallback;
        m_state = punkState;
        if (m_events.empty())
            return S_OK;
        const HRESULT hr = deliverLocked();
        if (FAILED(hr)) {
            // The caller still holds both, so these releases are not the last.
            IUnknown *state = nullptr;
            takeSubscriberLocked(&state)->Release();
            if (state != nullptr)
                state->Release();
        }
        return hr;
    }

    HRESULT STDMETHODCALLTYPE EndGetEvent(IMFAsyncResult *pResult, IMFMediaEvent **ppEvent) override
    {
        if (ppEvent == nullptr)
            return E_POINTER;
        *ppEvent = nullptr;
        if (pResult == nullptr)
            return E_INVALIDARG;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (m_shutdown)
                return MF_E_SHUTDOWN;
        }
        IUnknown *object = nullptr;
        if (FAILED(pResult->GetObject(&object)))
            return E_INVALIDARG;
        const HRESULT hr = object->QueryInterface(IID_IMFMediaEvent, reinterpret_cast<void **>(ppEvent));
        object->Release();
        return SUCCEEDED(hr) ? S_OK : E_INVALIDARG;
    }

    HRESULT STDMETHODCALLTYPE QueueEvent(IMFMediaEvent *pEvent) override
    {
        if (pEvent == nullptr)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_shutdown)
            return MF_E_SHUTDOWN;
        pEvent->AddRef();
        m_events.push_back(pEvent);
        // The event is queued either way: one the work queue cannot take now waits for the next chance.
        if (m_callback != nullptr)
            deliverLocked();
        m_arrived.notify_all();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE QueueEventParamVar(MediaEventType met, REFGUID guidExtendedType,
                                                 HRESULT hrStatus, const PROPVARIANT *pvValue) override
    {
        if (isShutDown())
            return MF_E_SHUTDOWN;
        IMFMediaEvent *event = nullptr;
        HRESULT hr = MFCreateMediaEvent(met, guidExtendedType, hrStatus, pvValue, &event);
        if (FAILED(hr))
            return hr;
        hr = QueueEvent(event);
        event->Release();
        return hr;
    }

    HRESULT STDMETHODCALLTYPE QueueEventParamUnk(MediaEventType met, REFGUID guidExtendedType,
                                                 HRESULT hrStatus, IUnknown *pUnk) override
    {
        PROPVARIANT value;
        PropVariantInit(&value);
        value.vt = VT_UNKNOWN;
        value.punkVal = pUnk;
        return QueueEventParamVar(met, guidExtendedType, hrStatus, &value);
    }

    HRESULT STDMETHODCALLTYPE Shutdown() override
    {
        std::deque<IMFMediaEvent *> events;
        IMFAsyncCallback *callback = nullptr;
        IUnknown *state = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_shutdown = true;
            events.swap(m_events);
            callback = takeSubscriberLocked(&state);
            m_arrived.notify_all();
        }
        // Released outside the lock: an event's value or a callback may own objects that reach this queue. A
        // pending request is dropped without a call, as Windows drops it.
        release(events, callback, state);
        return S_OK;
    }

private:
    ~EventQueue() override
    {
        IUnknown *state = nullptr;
        IMFAsyncCallback *callback = takeSubscriberLocked(&state);
        release(m_events, callback, state);
    }

    bool isShutDown()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_shutdown;
    }

    IMFAsyncCallback *takeSubscriberLocked(IUnknown **state)
    {
        IMFAsyncCallback *callback = m_callback;
        *state = m_state;
        m_callback = nullptr;
        m_state = nullptr;
        return callback;
    }

    static void release(std::deque<IMFMediaEvent *> &events, IMFAsyncCallback *callback, IUnknown *state)
    {
        for (IMFMediaEvent *event : events)
            event->Release();
        events.clear();
        if (callback != nullptr)
            callback->Release();
        if (state != nullptr)
            state->Release();
    }

    // Hands the oldest event to the pending request through the work queue; the request's references move
    // into the async result. Every release here leaves a reference elsewhere, so none runs a destructor under
    // the lock. When the platform is not running the event stays queued and the request stays pending.
    HRESULT deliverLocked()
    {
        IMFMediaEvent *event = m_events.front();
        auto *result = new AsyncResult(event, m_callback, m_state);
        const HRESULT hr = putWorkItem(result);
        if (SUCCEEDED(hr)) {
            m_events.pop_front();
            event->Release();
            m_callback->Release();
            if (m_state != nullptr)
                m_state->Release();
            m_callback = nullptr;
            m_state = nullptr;
        }
        result->Release();
        return hr;
    }

    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::deque<IMFMediaEvent *> m_events;
    IMFAsyncCallback *m_callback = nullptr; // the pending BeginGetEvent
    IUnknown *m_state = nullptr;
    bool m_waiting = false; // a GetEvent blocks
    bool m_shutdown = false;
};

} // namespace
} // namespace vistrel::mf

HRESULT MFCreateEventQueue(IMFMediaEventQueue **ppMediaEventQueue)
{
    if (ppMediaEventQueue == nullptr)
        return E_POINTER;
    *ppMediaEventQueue = new vistrel::mf::EventQueue();
    return S_OK;
}
