#include "driver/mediasource/CaptureRun.h"

#include "driver/capture/MediaProcessingThread.h"

CaptureRun::CaptureRun() : m_thread(std::make_unique<MediaProcessingThread>()) {}

// The thread's destructor asks it to stop and joins it.
CaptureRun::~CaptureRun() = default;

void CaptureRun::start()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_wanted = true;
    resumeLocked();
}

void CaptureRun::stop()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_wanted = false;
    if (m_running)
        m_thread->stopCapture();
    m_running = false;
}

void CaptureRun::resume()
{
    std::lock_guard<std::mutex> lock(m_lock);
    resumeLocked();
}

void CaptureRun::resumeLocked()
{
    if (!m_wanted || m_running || m_thread->isRunning())
        return;
    m_thread->startCapture();
    m_running = true;
}
