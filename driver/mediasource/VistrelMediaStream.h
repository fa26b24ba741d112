// The media source's one video stream. Sample requests are queued and served by the stream's own
// delivery thread while the source runs: one sample per frame interval, paced to deadlines, stamped
// from the run's start and filled with the capture thread's current frame in the chosen type.
#pragma once

#include "driver/capture/DeliverySchedule.h"
#include "driver/filter/base/CUnknown.h"
#include "driver/mediasource/StreamTypes.h"
#include "platform/mf/mfidl.h"
#include "platform/windows/ComPtr.h"

#include <deque>
#include <mutex>
#include <thread>

class CaptureRun;

class VistrelMediaStream : public CUnknown, public IMFMediaStream2
{
public:
    // A stream of `source` (not counted: the source outlives its stream's use, see GetMediaSource)
    // described by `descriptor`, reading frames from `capture`, which the source keeps until Shutdown.
    static HRESULT create(IMFMediaSource *source, IMFStreamDescriptor *descriptor, CaptureRun *capture,
                          VistrelMediaStream **stream);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override;

    // IMFMediaEventGenerator
    STDMETHODIMP GetEvent(DWORD dwFlags, IMFMediaEvent **ppEvent) override;
    STDMETHODIMP BeginGetEvent(IMFAsyncCallback *pCallback, IUnknown *punkState) override;
    STDMETHODIMP EndGetEvent(IMFAsyncResult *pResult, IMFMediaEvent **ppEvent) override;
    STDMETHODIMP QueueEvent(MediaEventType met, REFGUID guidExtendedType, HRESULT hrStatus,
                            const PROPVARIANT *pvValue) override;
    // IMFMediaStream
    STDMETHODIMP GetMediaSource(IMFMediaSource **ppMediaSource) override;
    STDMETHODIMP GetStreamDescriptor(IMFStreamDescriptor **ppStreamDescriptor) override;
    STDMETHODIMP RequestSample(IUnknown *pToken) override;
    // IMFMediaStream2
    STDMETHODIMP SetStreamState(MF_STREAM_STATE value) override;
    STDMETHODIMP GetStreamState(MF_STREAM_STATE *value) override;

    // The source's commands, made under the source's lock. `format` is the type chosen for the run;
    // `fromStopped` starts the time stamps from 0 again.
    HRESULT startRun(const StreamFormat &format, bool fromStopped, LONGLONG startTime);
    HRESULT pauseRun();
    HRESULT stopRun();
    // Out of the run: pending requests are dropped, requests refused until it is selected again.
    void deselect();
    // Ends the delivery thread, drops the requests, shuts the event queue and forgets the source.
    void shutdown();

private:
    VistrelMediaStream(IMFStreamDescriptor *descriptor, CaptureRun *capture);
    ~VistrelMediaStream() override;

    enum class State
    {
        Stopped,
        Paused,
        Started,
        Shutdown
    };

    // A sample due now, taken from the queue under the lock.
    struct Due
    {
        ComPtr<IUnknown> token;
        StreamFormat format;
        LONGLONG time = 0;
    };

    void deliveryLoop();
    // Under m_lock: true with `due` filled when a request is to be served now; else how long to wait.
    bool takeDueRequest(Due &due, DWORD &waitMs);
    HRESULT buildSample(const Due &due, IMFSample **sample);
    void dropRequests();
    HRESULT queueStreamEvent(MediaEventType type, const PROPVARIANT *value);
    ComPtr<IMFMediaEventQueue> eventQueue();

    std::mutex m_lock; // state, requests and the time line; held while a sample is queued
    State m_state = State::Stopped;
    bool m_selected = false;
    IMFMediaSource *m_source; // not counted, see create()
    ComPtr<IMFStreamDescriptor> m_descriptor;
    ComPtr<IMFMediaEventQueue> m_events;
    CaptureRun *m_capture;
    std::deque<ComPtr<IUnknown>> m_requests; // tokens may be null
    StreamFormat m_format;
    // The time line of the run: the first sample's clock reading, when the next one is due.
    bool m_hasOrigin = false;
    LONGLONG m_origin = 0;
    bool m_hasDeadline = false;
    LONGLONG m_deadline = 0;
    DeliverySchedule m_schedule;

    HANDLE m_wake = NULL; // auto-reset: a request, a state change or shutdown
    std::thread m_delivery;
};
