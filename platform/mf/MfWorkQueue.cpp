#include "platform/mf/MfWorkQueue.h"

#include "platform/mf/MfAsyncResult.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace vistrel::mf {

namespace {

// Callbacks may block (a consumer waiting for another event, say), so a new thread joins when all are busy,
// up to a bound; Windows' standard queue is likewise served by several threads.
constexpr size_t kMaximumThreads = 8;

class WorkQueue
{
public:
    ~WorkQueue()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        stopLocked(lock);
    }

    HRESULT start(ULONG version)
    {
        if (version != MF_VERSION)
            return MF_E_BAD_STARTUP_VERSION;
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_startups;
        return S_OK;
    }

    HRESULT stop()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        if (m_startups == 0)
            return S_OK;
        if (--m_startups == 0)
            stopLocked(lock);
        return S_OK;
    }

    HRESULT put(AsyncResult *result)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_startups == 0 || m_stopping)
            return MF_E_SHUTDOWN;
        result->AddRef();
        m_items.push_back(result);
        if (m_idle < m_items.size() && m_threads.size() < kMaximumThreads)
            m_threads.emplace_back([this, generation = m_generation] { run(generation); });
        m_wake.notify_one();
        return S_OK;
    }

private:
    // A thread belongs to one run of the platform: one left running its callback through a shutdown (see
    // stopLocked) must not serve the next run.
    void run(unsigned generation)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        while (generation == m_generation) {
            ++m_idle;
            m_wake.wait(lock, [&] { return m_stopping || generation != m_generation || !m_items.empty(); });
            --m_idle;
            if (m_stopping || generation != m_generation)
                return;
            AsyncResult *result = m_items.front();
            m_items.pop_front();
            lock.unlock();
            result->invoke();
            result->Release();
            lock.lock();
        }
    }

    // Ends the threads (each finishes the callback it is in) and releases the work none had begun.
    void stopLocked(std::unique_lock<std::mutex> &lock)
    {
        m_stopping = true;
        ++m_generation;
        m_wake.notify_all();
        std::vector<std::thread> threads;
        threads.swap(m_threads);
        std::deque<AsyncResult *> items;
        items.swap(m_items);
        lock.unlock();
        for (std::thread &thread : threads) {
            // The last MFShutdown may come from a callback itself; that thread ends when its callback
            // returns.
            if (thread.get_id() == std::this_thread::get_id())
                thread.detach();
            else
                thread.join();
        }
        for (AsyncResult *result : items)
            result->Release();
        lock.lock();
        m_stopping = false;
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<AsyncResult *> m_items;
    std::vector<std::thread> m_threads;
    size_t m_idle = 0;
    unsigned m_generation = 0;
    ULONG m_startups = 0;
    bool m_stopping = false;
};

WorkQueue &workQueue()
{
    static WorkQueue queue;
    return queue;
}

} // namespace

HRESULT startWorkQueue(ULONG version)
{
    return workQueue().start(version);
}

HRESULT stopWorkQueue()
{
    return workQueue().stop();
}

HRESULT putWorkItem(AsyncResult *result)
{
    return workQueue().put(result);
}

} // namespace vistrel::mf
