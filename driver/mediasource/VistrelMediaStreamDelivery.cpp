// The stream's delivery thread: serves queued requests while the source runs, one sample per frame
// interval, each stamped from the run's first sample and filled with the capture thread's frame.
#include "driver/capture/DeliveryClock.h"
#include "driver/capture/MediaProcessingThread.h"
#include "driver/mediasource/CaptureRun.h"
#include "driver/mediasource/FrameFormats.h"
#include "driver/mediasource/VistrelMediaStream.h"

namespace {

DWORD waitFor(LONGLONG ahead)
{
    // Rounded up so that a sample never goes early; a long interval is still woken by any command.
    const LONGLONG ms = ahead / 10000 + (ahead % 10000 != 0 ? 1 : 0);
    const LONGLONG longest = LONGLONG(INFINITE) - 1;
    return DWORD(ms < longest ? ms : longest);
}

// Fills `dst` with the frame in `format`; black when the frame is not the size the format expects.
void fill(const StreamFormat &format, const QByteArray &frame, BYTE *dst)
{
    const int width = format.size.width();
    const int height = format.size.height();
    const auto *rows = reinterpret_cast<const uint8_t *>(frame.constData());
    if (qint64(frame.size()) < qint64(width) * height * 3) {
        std::fill(dst, dst + format.sampleSize, BYTE(0));
        return;
    }
    if (IsEqualGUID(format.subtype, MFVideoFormat_NV12))
        FrameFormats::bgrBottomUpToNv12(rows, width, height, dst);
    else
        FrameFormats::bgrBottomUpToRgb32(rows, width, height, dst);
}

} // namespace

void VistrelMediaStream::deliveryLoop()
{
    DeliveryClock &clock = DeliveryClock::current();
    for (;;) {
        std::unique_lock<std::mutex> lock(m_lock);
        if (m_state == State::Shutdown)
            return;
        Due due;
        DWORD waitMs = INFINITE;
        if (!takeDueRequest(due, waitMs)) {
            lock.unlock();
            clock.wait(m_wake, waitMs);
            continue;
        }
        // The sample is built and queued under the lock, so that a pause or stop queued meanwhile
        // is never followed by a sample.
        ComPtr<IMFSample> sample;
        HRESULT hr = buildSample(due, sample.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) {
            PROPVARIANT value;
            PropVariantInit(&value);
            value.vt = VT_UNKNOWN;
            value.punkVal = sample.Get();
            hr = m_events->QueueEventParamVar(MEMediaSample, GUID_NULL, S_OK, &value);
        }
        if (FAILED(hr))
            m_events->QueueEventParamVar(MEError, GUID_NULL, hr, NULL);
    }
}

bool VistrelMediaStream::takeDueRequest(Due &due, DWORD &waitMs)
{
    if (m_state != State::Started || !m_selected || m_requests.empty())
        return false;
    m_capture->resume();
    DeliveryClock &clock = DeliveryClock::current();
    const LONGLONG now = clock.now();
    if (m_hasDeadline && now < m_deadline) {
        waitMs = waitFor(m_deadline - now);
        return false;
    }
    due.token = m_requests.front();
    m_requests.pop_front();
    due.format = m_format;
    // Each run's first sample is at 0; a pause keeps the origin, so time goes on across it.
    if (!m_hasOrigin) {
        m_hasOrigin = true;
        m_origin = now;
    }
    due.time = now - m_origin;
    const LONGLONG ahead = m_schedule.millisecondsToNext(now, m_format.frameInterval) * 10000;
    m_hasDeadline = true;
    m_deadline = now + ahead;
    return true;
}

HRESULT VistrelMediaStream::buildSample(const Due &due, IMFSample **sample)
{
    *sample = NULL;
    const StreamFormat &format = due.format;
    ComPtr<IMFMediaBuffer> buffer;
    HRESULT hr = MFCreateMemoryBuffer(format.sampleSize, buffer.ReleaseAndGetAddressOf());
    BYTE *data = NULL;
    DWORD capacity = 0;
    if (SUCCEEDED(hr))
        hr = buffer->Lock(&data, &capacity, NULL);
    if (SUCCEEDED(hr)) {
        if (capacity >= format.sampleSize) {
            MediaProcessingThread &capture = m_capture->thread();
            capture.readFrameWith([&](const QByteArray &frame) {
                fill(format, frame, data);
                return int(format.sampleSize);
            });
        } else {
            hr = E_UNEXPECTED;
        }
        buffer->Unlock();
    }
    if (SUCCEEDED(hr))
        hr = buffer->SetCurrentLength(format.sampleSize);

    ComPtr<IMFSample> made;
    if (SUCCEEDED(hr))
        hr = MFCreateSample(made.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr))
        hr = made->AddBuffer(buffer.Get());
    if (SUCCEEDED(hr))
        hr = made->SetSampleTime(due.time);
    if (SUCCEEDED(hr))
        hr = made->SetSampleDuration(format.frameInterval);
    if (SUCCEEDED(hr))
        hr = made->SetUINT32(MFSampleExtension_CleanPoint, TRUE);
    if (SUCCEEDED(hr) && due.token)
        hr = made->SetUnknown(MFSampleExtension_Token, due.token.Get());
    if (FAILED(hr))
        return hr;
    *sample = made.Detach();
    return S_OK;
}
