// The pin's streaming side, on its worker thread: one sample per frame interval, paced to deadlines and
// stamped from the delivery clock, filled with the capture thread's current frame.
#include "driver/capture/DeliveryClock.h"
#include "driver/capture/MediaProcessingThread.h"
#include "driver/filter/CVCam.h"
#include "driver/filter/CVCamStream.h"
#include "driver/filter/FrameRows.h"
#include "driver/filter/VideoType.h"

#include <QDebug>

#include <limits>

namespace {

// start + interval, held at the ends of the range rather than wrapping.
REFERENCE_TIME stopTime(REFERENCE_TIME start, REFERENCE_TIME interval)
{
    const REFERENCE_TIME largest = std::numeric_limits<REFERENCE_TIME>::max();
    const REFERENCE_TIME smallest = std::numeric_limits<REFERENCE_TIME>::min();
    if (interval > 0 && start > largest - interval)
        return largest;
    if (interval < 0 && start < smallest - interval)
        return smallest;
    return start + interval;
}

} // namespace

HRESULT CVCamStream::OnThreadCreate()
{
    // Each streaming run stamps its samples from 0.
    m_rtLastTime = 0;
    m_startClock = 0;
    m_schedule.restart();
    resumeCapture();
    return S_OK;
}

HRESULT CVCamStream::OnThreadDestroy()
{
    if (m_pCaptureThread != nullptr) {
        m_pCaptureThread->stopCapture();
        m_captureStopped = true;
    }
    return S_OK;
}

void CVCamStream::resumeCapture()
{
    // A capture thread that is still winding down from the stop would drop a start now; it is started
    // once it has ended.
    if (!m_captureStopped || m_pCaptureThread == nullptr || m_pCaptureThread->isRunning())
        return;
    m_pCaptureThread->startCapture();
    m_captureStopped = false;
}

bool CVCamStream::waitUntilRunning()
{
    IBaseFilter *filter = m_pParent;
    FILTER_STATE state = State_Stopped;
    filter->GetState(INFINITE, &state);
    // After a pause the run goes on from now, not from deadlines that passed meanwhile.
    if (state != State_Running)
        m_schedule.restart();
    while (state != State_Running) {
        qDebug("sleeping till graph running for video...");
        Sleep(1);
        Command command;
        if (CheckRequest(&command) && command == CMD_STOP) {
            qDebug("exiting early from CMD_STOP thinger");
            return false;
        }
        resumeCapture();
        filter->GetState(INFINITE, &state);
    }
    return true;
}

void CVCamStream::pace(REFERENCE_TIME interval)
{
    DeliveryClock &clock = DeliveryClock::current();
    const LONGLONG ms = m_schedule.millisecondsToNext(clock.now(), interval);
    // A command (pause, stop) ends the wait: a long interval must not hold up a state change.
    const LONGLONG longest = LONGLONG(INFINITE) - 1;
    clock.wait(GetRequestHandle(), DWORD(ms < longest ? ms : longest));
}

HRESULT CVCamStream::FillBuffer(IMediaSample *pSample)
{
    CheckPointer(pSample, E_POINTER);
    resumeCapture();
    if (!waitUntilRunning())
        return S_FALSE;

    // One consistent view of the current type, which an application thread may replace meanwhile.
    SampleLayout layout;
    REFERENCE_TIME interval = 0;
    {
        CAutoLock lock(&m_typeLock);
        if (const VIDEOINFOHEADER *vih = VideoType::videoInfo(m_mt)) {
            layout = sampleLayout(*vih);
            interval = vih->AvgTimePerFrame;
        }
    }

    BYTE *buffer = NULL;
    pSample->GetPointer(&buffer);
    const LONG size = pSample->GetSize();
    if (m_pCaptureThread != nullptr && buffer != NULL && size > 0) {
        const QSize frameSize = m_pCaptureThread->outputSize();
        // The rows go straight from the capture thread's frame into the sample, in the sample's layout.
        m_pCaptureThread->readFrameWith([&](const QByteArray &frame) {
            return int(copyFrameRows(frame, frameSize, buffer, size, layout));
        });
    }

    REFERENCE_TIME start = 0;
    if (m_startClock == 0)
        m_startClock = clock100ns(0);
    else
        start = clock100ns(m_startClock);
    m_rtLastTime = stopTime(start, interval);
    REFERENCE_TIME stop = m_rtLastTime;
    pSample->SetTime(&start, &stop);
    pSample->SetSyncPoint(TRUE);

    pace(interval);
    return S_OK;
}
