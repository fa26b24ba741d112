// The Media Foundation media source of the virtual camera: one live video stream with the picture the
// DirectShow filter streams, through the same capture thread (one more consumer of the one camera
// session). Start, pause and stop complete at once; their events are queued before the call returns.
#pragma once

#include "driver/filter/base/CUnknown.h"
#include "driver/mediasource/StreamTypes.h"
#include "platform/mf/mfidl.h"
#include "platform/windows/ComPtr.h"

#include <QSize>

#include <memory>
#include <mutex>

class CaptureRun;
class VistrelMediaStream;

class VistrelMediaSource : public CUnknown, public IMFMediaSourceEx, public IMFGetService, public IKsControl
{
public:
    // The class factory's create function: a new source with no reference yet, or null.
    static CUnknown *WINAPI CreateInstance(LPUNKNOWN lpunk, HRESULT *phr);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override;

    // IMFMediaEventGenerator
    STDMETHODIMP GetEvent(DWORD dwFlags, IMFMediaEvent **ppEvent) override;
    STDMETHODIMP BeginGetEvent(IMFAsyncCallback *pCallback, IUnknown *punkState) override;
    STDMETHODIMP EndGetEvent(IMFAsyncResult *pResult, IMFMediaEvent **ppEvent) override;
    STDMETHODIMP QueueEvent(MediaEventType met, REFGUID guidExtendedType, HRESULT hrStatus,
                            const PROPVARIANT *pvValue) override;
    // IMFMediaSource
    STDMETHODIMP GetCharacteristics(DWORD *pdwCharacteristics) override;
    STDMETHODIMP CreatePresentationDescriptor(IMFPresentationDescriptor **ppPresentationDescriptor) override;
    STDMETHODIMP Start(IMFPresentationDescriptor *pPresentationDescriptor, const GUID *pguidTimeFormat,
                       const PROPVARIANT *pvarStartPosition) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Shutdown() override;
    // IMFMediaSourceEx
    STDMETHODIMP GetSourceAttributes(IMFAttributes **ppAttributes) override;
    STDMETHODIMP GetStreamAttributes(DWORD dwStreamIdentifier, IMFAttributes **ppAttributes) override;
    STDMETHODIMP SetD3DManager(IUnknown *pManager) override;
    // IMFGetService
    STDMETHODIMP GetService(REFGUID guidService, REFIID riid, LPVOID *ppvObject) override;
    // IKsControl: no property, method or event set of a camera driver is served.
    STDMETHODIMP KsProperty(PKSPROPERTY Property, ULONG PropertyLength, LPVOID PropertyData, ULONG DataLength,
                            ULONG *BytesReturned) override;
    STDMETHODIMP KsMethod(PKSMETHOD Method, ULONG MethodLength, LPVOID MethodData, ULONG DataLength,
                          ULONG *BytesReturned) override;
    STDMETHODIMP KsEvent(PKSEVENT Event, ULONG EventLength, LPVOID EventData, ULONG DataLength,
                         ULONG *BytesReturned) override;

private:
    VistrelMediaSource(LPUNKNOWN lpunk, HRESULT *phr);
    ~VistrelMediaSource() override;

    enum class State
    {
        Stopped,
        Paused,
        Started,
        Shutdown
    };

    HRESULT initialize();
    ComPtr<IMFMediaEventQueue> eventQueue();
    // Under m_lock: the stream descriptor `descriptor` selects and the format of its current type.
    HRESULT readSelection(IMFPresentationDescriptor *descriptor, bool *selected, StreamFormat *format);
    HRESULT queueSourceEvent(MediaEventType type, const PROPVARIANT *value);

    std::mutex m_lock;
    State m_state = State::Stopped;
    bool m_streamSelected = false; // in the last Start
    QSize m_size;
    double m_fps = 0.0;
    ComPtr<IMFMediaEventQueue> m_events;
    ComPtr<IMFPresentationDescriptor> m_descriptor;
    ComPtr<IMFStreamDescriptor> m_streamDescriptor;
    ComPtr<IMFAttributes> m_attributes;
    std::unique_ptr<CaptureRun> m_capture;
    ComPtr<VistrelMediaStream> m_stream; // made by the first Start
};
