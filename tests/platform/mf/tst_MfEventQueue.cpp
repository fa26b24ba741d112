// The event queue: GetEvent blocking and not, BeginGetEvent answered on a work queue thread, the errors for a
// second request, Shutdown waking and refusing everything, and many producers against one asynchronous
// reader.
#include "MfTestSupport.h"

#include <QtTest>

#include <condition_variable>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

class MfEventQueueTest : public QObject
{
    Q_OBJECT

private:
    static ComPtr<IMFMediaEventQueue> makeQueue()
    {
        ComPtr<IMFMediaEventQueue> queue;
        MFCreateEventQueue(queue.ReleaseAndGetAddressOf());
        return queue;
    }

    static MediaEventType typeOf(IMFMediaEvent *event)
    {
        MediaEventType type = MEUnknown;
        event->GetType(&type);
        return type;
    }

private slots:
    void init() { QCOMPARE(MFStartup(MF_VERSION), S_OK); }
    // MFShutdown joins the work queue's threads, so every object they held is gone by the count.
    void cleanup()
    {
        QCOMPARE(MFShutdown(), S_OK);
        QCOMPARE(VistrelMfLiveObjects(), 0);
    }

    void getEventReturnsEventsInOrder()
    {
        auto queue = makeQueue();
        ComPtr<IMFMediaEvent> event;
        QCOMPARE(queue->GetEvent(MF_EVENT_FLAG_NO_WAIT, event.ReleaseAndGetAddressOf()),
                 MF_E_NO_EVENTS_AVAILABLE);
        QVERIFY(!event);

        QCOMPARE(queue->QueueEventParamVar(MESourceStarted, GUID_NULL, S_OK, nullptr), S_OK);
        PROPVARIANT value;
        PropVariantInit(&value);
        value.vt = VT_UI8;
        value.uhVal.QuadPart = 1234;
        QCOMPARE(queue->QueueEventParamVar(MEStreamStarted, GUID_NULL, S_OK, &value), S_OK);
        QCOMPARE(queue->QueueEventParamUnk(MENewStream, GUID_NULL, E_FAIL, queue.Get()), S_OK);

        QCOMPARE(queue->GetEvent(MF_EVENT_FLAG_NO_WAIT, event.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(typeOf(event.Get()), MediaEventType(MESourceStarted));
        QCOMPARE(queue->GetEvent(0, event.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(typeOf(event.Get()), MediaEventType(MEStreamStarted));
        PROPVARIANT read;
        PropVariantInit(&read);
        QCOMPARE(event->GetValue(&read), S_OK);
        QCOMPARE(read.vt, VARTYPE(VT_UI8));
        QCOMPARE(read.uhVal.QuadPart, ULONGLONG(1234));
        QCOMPARE(queue->GetEvent(0, event.ReleaseAndGetAddressOf()), S_OK);
        HRESULT status = S_OK;
        QCOMPARE(event->GetStatus(&status), S_OK);
        QCOMPARE(status, E_FAIL);
        QCOMPARE(event->GetValue(&read), S_OK);
        QCOMPARE(read.vt, VARTYPE(VT_UNKNOWN));
        QCOMPARE(read.punkVal, static_cast<IUnknown *>(queue.Get()));
        PropVariantClear(&read);
        event.Reset();
        // The event held the queue; with it gone, only ours is left.
        QCOMPARE(referenceCount(queue.Get()), ULONG(1));
        QCOMPARE(queue->Shutdown(), S_OK);
    }

    void getEventWaitsForTheNextEvent()
    {
        auto queue = makeQueue();
        auto reader = std::async(std::launch::async, [&] {
            ComPtr<IMFMediaEvent> event;
            const HRESULT hr = queue->GetEvent(0, event.ReleaseAndGetAddressOf());
            return SUCCEEDED(hr) ? typeOf(event.Get()) : MediaEventType(MEUnknown);
        });
        QCOMPARE(queue->QueueEventParamVar(MEMediaSample, GUID_NULL, S_OK, nullptr), S_OK);
        QCOMPARE(reader.get(), MediaEventType(MEMediaSample));
        QCOMPARE(queue->Shutdown(), S_OK);
    }

    void shutdownWakesAWaitingReaderAndRefusesEverything()
    {
        auto queue = makeQueue();
        std::promise<void> waiting;
        auto reader = std::async(std::launch::async, [&] {
            ComPtr<IMFMediaEvent> event;
            waiting.set_value();
            return queue->GetEvent(0, event.ReleaseAndGetAddressOf());
        });
        waiting.get_future().wait();
        // Whether the reader is already inside GetEvent or not, it ends with MF_E_SHUTDOWN.
        QCOMPARE(queue->Shutdown(), S_OK);
        QCOMPARE(reader.get(), MF_E_SHUTDOWN);

        ComPtr<IMFMediaEvent> event;
        QCOMPARE(queue->GetEvent(MF_EVENT_FLAG_NO_WAIT, event.ReleaseAndGetAddressOf()), MF_E_SHUTDOWN);
        QCOMPARE(queue->QueueEventParamVar(MEError, GUID_NULL, E_FAIL, nullptr), MF_E_SHUTDOWN);
        auto callback = makeCallback([](IMFAsyncResult *) {});
        QCOMPARE(queue->BeginGetEvent(callback.Get(), nullptr), MF_E_SHUTDOWN);
    }

    void beginGetEventCallsBackOnAnotherThread()
    {
        auto queue = makeQueue();
        auto state = makeCallback([](IMFAsyncResult *) {}); // any object serves as the state
        std::promise<std::thread::id> invokedOn;
        std::promise<MediaEventType> received;
        std::promise<IUnknown *> stateSeen;
        auto callback = makeCallback([&](IMFAsyncResult *result) {
            invokedOn.set_value(std::this_thread::get_id());
            stateSeen.set_value(result->GetStateNoAddRef());
            ComPtr<IMFMediaEvent> event;
            received.set_value(SUCCEEDED(queue->EndGetEvent(result, event.ReleaseAndGetAddressOf()))
                                   ? typeOf(event.Get())
                                   : MediaEventType(MEUnknown));
        });
        QCOMPARE(queue->BeginGetEvent(callback.Get(), state.Get()), S_OK);
        // While the request is pending, a second one is refused according to who asks.
        QCOMPARE(queue->BeginGetEvent(callback.Get(), state.Get()), MF_S_MULTIPLE_BEGIN);
        QCOMPARE(queue->BeginGetEvent(callback.Get(), nullptr), MF_E_MULTIPLE_BEGIN);
        auto other = makeCallback([](IMFAsyncResult *) {});
        QCOMPARE(queue->BeginGetEvent(other.Get(), nullptr), MF_E_MULTIPLE_SUBSCRIBERS);
        ComPtr<IMFMediaEvent> event;
        QCOMPARE(queue->GetEvent(MF_EVENT_FLAG_NO_WAIT, event.ReleaseAndGetAddressOf()),
                 MF_E_MULTIPLE_SUBSCRIBERS);

        QCOMPARE(queue->QueueEventParamVar(MEEndOfStream, GUID_NULL, S_OK, nullptr), S_OK);
        QVERIFY(invokedOn.get_future().get() != std::this_thread::get_id());
        QCOMPARE(received.get_future().get(), MediaEventType(MEEndOfStream));
        QCOMPARE(stateSeen.get_future().get(), static_cast<IUnknown *>(state.Get()));
        QCOMPARE(queue->Shutdown(), S_OK);
    }

    void beginGetEventWithAnEventWaitingCallsBackAtOnce()
    {
        auto queue = makeQueue();
        QCOMPARE(queue->QueueEventParamVar(MESourceStopped, GUID_NULL, S_OK, nullptr), S_OK);
        std::promise<MediaEventType> received;
        auto callback = makeCallback([&](IMFAsyncResult *result) {
            ComPtr<IMFMediaEvent> event;
            queue->EndGetEvent(result, event.ReleaseAndGetAddressOf());
            received.set_value(event ? typeOf(event.Get()) : MediaEventType(MEUnknown));
        });
        QCOMPARE(queue->BeginGetEvent(callback.Get(), nullptr), S_OK);
        QCOMPARE(received.get_future().get(), MediaEventType(MESourceStopped));
        QCOMPARE(queue->Shutdown(), S_OK);
    }

    void shutdownDropsAPendingRequestWithoutACall()
    {
        auto queue = makeQueue();
        std::atomic<bool> called{false};
        auto callback = makeCallback([&](IMFAsyncResult *) { called = true; });
        QCOMPARE(queue->BeginGetEvent(callback.Get(), nullptr), S_OK);
        QCOMPARE(referenceCount(callback.Get()), ULONG(2));
        QCOMPARE(queue->Shutdown(), S_OK);
        QCOMPARE(referenceCount(callback.Get()), ULONG(1));
        QCOMPARE(MFShutdown(), S_OK); // no work may still be on its way
        QVERIFY(!called);
        QCOMPARE(MFStartup(MF_VERSION), S_OK);
    }

    void asyncReaderGetsEveryEventOfManyProducers()
    {
        constexpr int kProducers = 4;
        constexpr int kEventsEach = 500;
        auto queue = makeQueue();

        std::mutex lock;
        std::condition_variable done;
        std::map<int, std::vector<int>> seen; // producer -> sequence numbers in the order received
        int total = 0;
        HRESULT failure = S_OK;
        ComPtr<IMFAsyncCallback> callback;
        // The callback asks for the next event from inside Invoke, as media sessions do.
        callback = makeCallback([&](IMFAsyncResult *result) {
            ComPtr<IMFMediaEvent> event;
            HRESULT hr = queue->EndGetEvent(result, event.ReleaseAndGetAddressOf());
            PROPVARIANT value;
            PropVariantInit(&value);
            if (SUCCEEDED(hr))
                hr = event->GetValue(&value);
            std::lock_guard<std::mutex> guard(lock);
            if (FAILED(hr) || value.vt != VT_UI4) {
                failure = FAILED(hr) ? hr : E_UNEXPECTED;
                done.notify_all();
                return;
            }
            seen[static_cast<int>(value.ulVal >> 16)].push_back(static_cast<int>(value.ulVal & 0xffff));
            if (++total < kProducers * kEventsEach) {
                hr = queue->BeginGetEvent(callback.Get(), nullptr);
                if (FAILED(hr))
                    failure = hr;
            }
            done.notify_all();
        });
        QCOMPARE(queue->BeginGetEvent(callback.Get(), nullptr), S_OK);

        std::vector<std::thread> producers;
        for (int p = 0; p < kProducers; ++p) {
            producers.emplace_back([&, p] {
                for (int i = 0; i < kEventsEach; ++i) {
                    PROPVARIANT value;
                    PropVariantInit(&value);
                    value.vt = VT_UI4;
                    value.ulVal = static_cast<ULONG>(p << 16 | i);
                    queue->QueueEventParamVar(MEMediaSample, GUID_NULL, S_OK, &value);
                }
            });
        }
        for (std::thread &producer : producers)
            producer.join();
        {
            std::unique_lock<std::mutex> guard(lock);
            done.wait(guard, [&] { return total == kProducers * kEventsEach || failure != S_OK; });
            QCOMPARE(failure, S_OK);
            for (int p = 0; p < kProducers; ++p) {
                QCOMPARE(int(seen[p].size()), kEventsEach);
                for (int i = 0; i < kEventsEach; ++i)
                    QCOMPARE(seen[p][i], i);
            }
        }
        QCOMPARE(queue->Shutdown(), S_OK);
    }

    // A consumer's callback may wait for another queue's event (a session waiting on a stream, say): the work
    // queue must answer that other request meanwhile.
    void aWaitingCallbackDoesNotHoldUpOthers()
    {
        auto first = makeQueue();
        auto second = makeQueue();
        std::promise<void> secondRan;
        std::shared_future<void> secondDone = secondRan.get_future().share();
        std::promise<void> firstEnded;
        auto waits = makeCallback([&](IMFAsyncResult *) {
            secondDone.wait();
            firstEnded.set_value();
        });
        auto answers = makeCallback([&](IMFAsyncResult *) { secondRan.set_value(); });
        QCOMPARE(first->BeginGetEvent(waits.Get(), nullptr), S_OK);
        QCOMPARE(second->BeginGetEvent(answers.Get(), nullptr), S_OK);
        QCOMPARE(first->QueueEventParamVar(MEStreamStarted, GUID_NULL, S_OK, nullptr), S_OK);
        QCOMPARE(second->QueueEventParamVar(MEStreamStarted, GUID_NULL, S_OK, nullptr), S_OK);
        firstEnded.get_future().wait();
        QCOMPARE(first->Shutdown(), S_OK);
        QCOMPARE(second->Shutdown(), S_OK);
    }

    void startupChecksTheVersion() { QCOMPARE(MFStartup(0x10070), MF_E_BAD_STARTUP_VERSION); }
};

QTEST_GUILESS_MAIN(MfEventQueueTest)
#include "tst_MfEventQueue.moc"
