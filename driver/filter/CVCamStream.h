// The virtual camera's one output pin: offers 24-bit RGB frames of the capture thread's size and rate,
// lets applications inspect and set the format (IAMStreamConfig), marks itself as a capture pin
// (IKsPropertySet), and delivers the capture thread's frames at the negotiated frame interval.
#pragma once

#include "driver/capture/DeliverySchedule.h"
#include "driver/filter/base/CCritSec.h"
#include "driver/filter/base/CSourceStream.h"

#include <QObject>

class CVCam;
class MediaProcessingThread;

class CVCamStream : public QObject, public CSourceStream, public IAMStreamConfig, public IKsPropertySet
{
    Q_OBJECT

public:
    CVCamStream(HRESULT *phr, CVCam *pParent, LPCWSTR pPinName);
    ~CVCamStream() override;

    // Every IUnknown entry of the pin (IPin, IQualityControl, IAMStreamConfig, IKsPropertySet) lands
    // here; only these entries answer IAMStreamConfig and IKsPropertySet.
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return GetOwner()->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return GetOwner()->Release(); }

    // Pin formats
    HRESULT CheckMediaType(const CMediaType *pmt) override;
    HRESULT SetMediaType(const CMediaType *pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType *pmt) override;
    HRESULT DecideBufferSize(IMemAllocator *pAlloc, ALLOCATOR_PROPERTIES *pProperties) override;

    // IAMStreamConfig
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE *pmt) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE **ppmt) override;
    STDMETHODIMP GetNumberOfCapabilities(int *piCount, int *piSize) override;
    STDMETHODIMP GetStreamCaps(int iIndex, AM_MEDIA_TYPE **ppmt, BYTE *pSCC) override;

    // IKsPropertySet
    STDMETHODIMP Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                     LPVOID pPropData, DWORD cbPropData) override;
    STDMETHODIMP Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                     LPVOID pPropData, DWORD cbPropData, DWORD *pcbReturned) override;
    STDMETHODIMP QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD *pTypeSupport) override;

protected:
    // Delivery, on the pin's worker thread.
    HRESULT FillBuffer(IMediaSample *pSample) override;
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;

private:
    // The offered type: 24-bit RGB of the capture thread's size at its frame rate.
    HRESULT buildVideoType(CMediaType *pmt);
    // A copy of the current type, taken under m_typeLock.
    HRESULT currentType(CMediaType *pmt);
    // Waits for the graph to run; false when a stop arrives first. Having to wait restarts the schedule.
    bool waitUntilRunning();
    // Starts the capture thread again once the stop that an earlier streaming run asked for is over.
    void resumeCapture();
    // Sleeps until the next sample is due, but no longer than until a command for the worker thread
    // arrives; not at all when it is late.
    void pace(REFERENCE_TIME interval);

    CVCam *m_pParent;                        // not owned: the filter owns the pin
    REFERENCE_TIME m_rtLastTime;             // stop time of the most recent sample
    LONGLONG m_startClock;                   // delivery clock at the first sample of this run; 0 until then
    DeliverySchedule m_schedule;             // when the next sample is due; worker thread only
    MediaProcessingThread *m_pCaptureThread; // owned

    // Guards m_mt between the application threads that replace it and the worker thread that reads it.
    // Writers hold the filter's state lock as well, so readers under either lock see one whole type.
    CCritSec m_typeLock;
    // Set when a streaming run has asked the capture thread to stop; the next run starts it again.
    bool m_captureStopped;
};
