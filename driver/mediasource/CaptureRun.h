// The capture thread's runs as the media source wants them: started with the source, stopped with it.
// A start that comes while the thread still winds down from the last stop would be lost, so it is
// repeated once the thread has ended (resume, called by the stream before each sample).
#pragma once

#include <memory>
#include <mutex>

class MediaProcessingThread;

class CaptureRun
{
public:
    CaptureRun();
    ~CaptureRun();
    CaptureRun(const CaptureRun &) = delete;
    CaptureRun &operator=(const CaptureRun &) = delete;

    void start();
    void stop();
    // Starts the thread if a start is due and the last run has ended.
    void resume();

    // Fixed for the object's life; read once by the source for its media types.
    MediaProcessingThread &thread() { return *m_thread; }

private:
    void resumeLocked();

    std::mutex m_lock;
    bool m_wanted = false;
    bool m_running = false; // started and not stopped since
    std::unique_ptr<MediaProcessingThread> m_thread;
};
