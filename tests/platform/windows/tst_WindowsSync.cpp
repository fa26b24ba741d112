// Events, semaphores, waits, threads and critical sections, across real threads.
#include "platform/windows/win32.h"

#include <QtTest>
#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr int kGenerousMs = 300000;

// Closes a handle on every way out of a test.
class ScopedHandle
{
public:
    explicit ScopedHandle(HANDLE handle) : m_handle(handle) {}
    ~ScopedHandle()
    {
        if (m_handle)
            CloseHandle(m_handle);
    }
    ScopedHandle(const ScopedHandle &) = delete;
    ScopedHandle &operator=(const ScopedHandle &) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

struct WaiterArgs
{
    HANDLE event;
    std::atomic<int> *woken;
};

DWORD WINAPI waitOnce(LPVOID parameter)
{
    auto *args = static_cast<WaiterArgs *>(parameter);
    const DWORD result = WaitForSingleObject(args->event, INFINITE);
    ++*args->woken;
    return result;
}

DWORD WINAPI returnParameter(LPVOID parameter)
{
    return DWORD(reinterpret_cast<uintptr_t>(parameter));
}

DWORD WINAPI reportThreadId(LPVOID parameter)
{
    *static_cast<DWORD *>(parameter) = GetCurrentThreadId();
    return 0;
}

} // namespace

class TestWin32Sync : public QObject
{
    Q_OBJECT

private slots:
    void initialState_data();
    void initialState();
    void autoResetEventWakesOneWaiterPerSignal();
    void manualResetEventWakesAllUntilReset();
    void waitTimesOutWithoutSignal();
    void waitForAnyReportsLowestSignalled();
    void waitForAllNeedsEveryObject();
    void badWaitsFail_data();
    void badWaitsFail();
    void threadHandleSignalsOnExit();
    void suspendedThreadStartsOnResume();
    void semaphoreCountsAndRefusesOverflow();
    void criticalSectionIsRecursiveAndExclusive();
    void lastErrorIsPerThread();
};

void TestWin32Sync::initialState_data()
{
    QTest::addColumn<bool>("manualReset");
    QTest::addColumn<bool>("initiallySet");
    QTest::addColumn<DWORD>("firstWait");
    QTest::addColumn<DWORD>("secondWait");
    QTest::newRow("auto, set") << false << true << DWORD(WAIT_OBJECT_0) << DWORD(WAIT_TIMEOUT);
    QTest::newRow("auto, clear") << false << false << DWORD(WAIT_TIMEOUT) << DWORD(WAIT_TIMEOUT);
    QTest::newRow("manual, set") << true << true << DWORD(WAIT_OBJECT_0) << DWORD(WAIT_OBJECT_0);
    QTest::newRow("manual, clear") << true << false << DWORD(WAIT_TIMEOUT) << DWORD(WAIT_TIMEOUT);
}

void TestWin32Sync::initialState()
{
    QFETCH(bool, manualReset);
    QFETCH(bool, initiallySet);
    QFETCH(DWORD, firstWait);
    QFETCH(DWORD, secondWait);
    ScopedHandle event(CreateEventW(nullptr, manualReset, initiallySet, nullptr));
    QVERIFY(event.get());
    QCOMPARE(WaitForSingleObject(event.get(), 0), firstWait);
    QCOMPARE(WaitForSingleObject(event.get(), 0), secondWait);
}

void TestWin32Sync::autoResetEventWakesOneWaiterPerSignal()
{
    ScopedHandle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    std::atomic<int> woken{0};
    WaiterArgs args{event.get(), &woken};
    ScopedHandle first(CreateThread(nullptr, 0, waitOnce, &args, 0, nullptr));
    ScopedHandle second(CreateThread(nullptr, 0, waitOnce, &args, 0, nullptr));
    QVERIFY(first.get() && second.get());

    QVERIFY(SetEvent(event.get()));
    QTRY_COMPARE_WITH_TIMEOUT(woken.load(), 1, kGenerousMs);
    // The one signal was used up by the waiter it woke.
    QCOMPARE(WaitForSingleObject(event.get(), 0), DWORD(WAIT_TIMEOUT));
    QCOMPARE(woken.load(), 1);

    QVERIFY(SetEvent(event.get()));
    const HANDLE threads[] = {first.get(), second.get()};
    QCOMPARE(WaitForMultipleObjects(2, threads, TRUE, kGenerousMs), DWORD(WAIT_OBJECT_0));
    QCOMPARE(woken.load(), 2);
}

void TestWin32Sync::manualResetEventWakesAllUntilReset()
{
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<int> woken{0};
    WaiterArgs args{event.get(), &woken};
    std::vector<HANDLE> threads;
    for (int i = 0; i < 4; ++i)
        threads.push_back(CreateThread(nullptr, 0, waitOnce, &args, 0, nullptr));

    QVERIFY(SetEvent(event.get()));
    QCOMPARE(WaitForMultipleObjects(DWORD(threads.size()), threads.data(), TRUE, kGenerousMs),
             DWORD(WAIT_OBJECT_0));
    QCOMPARE(woken.load(), 4);
    QCOMPARE(WaitForSingleObject(event.get(), 0), DWORD(WAIT_OBJECT_0));
    QVERIFY(ResetEvent(event.get()));
    QCOMPARE(WaitForSingleObject(event.get(), 0), DWORD(WAIT_TIMEOUT));
    for (HANDLE thread : threads)
        QVERIFY(CloseHandle(thread));
}

void TestWin32Sync::waitTimesOutWithoutSignal()
{
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    QCOMPARE(WaitForSingleObject(event.get(), 20), DWORD(WAIT_TIMEOUT));
    const HANDLE both[] = {event.get(), event.get()};
    QCOMPARE(WaitForMultipleObjects(2, both, FALSE, 20), DWORD(WAIT_TIMEOUT));
}

void TestWin32Sync::waitForAnyReportsLowestSignalled()
{
    ScopedHandle a(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ScopedHandle b(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ScopedHandle c(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    const HANDLE events[] = {a.get(), b.get(), c.get()};
    SetEvent(c.get());
    SetEvent(b.get());
    QCOMPARE(WaitForMultipleObjects(3, events, FALSE, kGenerousMs), DWORD(WAIT_OBJECT_0 + 1));
    // Only the reported one was consumed.
    QCOMPARE(WaitForMultipleObjects(3, events, FALSE, kGenerousMs), DWORD(WAIT_OBJECT_0 + 2));
    QCOMPARE(WaitForMultipleObjects(3, events, FALSE, 0), DWORD(WAIT_TIMEOUT));
}

void TestWin32Sync::waitForAllNeedsEveryObject()
{
    ScopedHandle a(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ScopedHandle b(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    const HANDLE events[] = {a.get(), b.get()};
    SetEvent(a.get());
    QCOMPARE(WaitForMultipleObjects(2, events, TRUE, 0), DWORD(WAIT_TIMEOUT));
    // A failed wait-for-all takes nothing.
    QCOMPARE(WaitForSingleObject(a.get(), 0), DWORD(WAIT_OBJECT_0));
    SetEvent(a.get());

    std::thread setter([&] { SetEvent(b.get()); });
    QCOMPARE(WaitForMultipleObjects(2, events, TRUE, kGenerousMs), DWORD(WAIT_OBJECT_0));
    setter.join();
    QCOMPARE(WaitForSingleObject(a.get(), 0), DWORD(WAIT_TIMEOUT));
    QCOMPARE(WaitForSingleObject(b.get(), 0), DWORD(WAIT_TIMEOUT));
}

void TestWin32Sync::badWaitsFail_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("waitAll");
    QTest::addColumn<bool>("duplicate");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<DWORD>("error");
    QTest::newRow("no handles") << 0 << false << false << false << DWORD(ERROR_INVALID_PARAMETER);
    QTest::newRow("too many") << 65 << false << false << false << DWORD(ERROR_INVALID_PARAMETER);
    QTest::newRow("same object twice, all") << 2 << true << true << false << DWORD(ERROR_INVALID_PARAMETER);
    QTest::newRow("closed handle") << 1 << false << false << true << DWORD(ERROR_INVALID_HANDLE);
}

void TestWin32Sync::badWaitsFail()
{
    QFETCH(int, count);
    QFETCH(bool, waitAll);
    QFETCH(bool, duplicate);
    QFETCH(bool, closed);
    QFETCH(DWORD, error);
    std::vector<HANDLE> handles;
    for (int i = 0; i < count; ++i)
        handles.push_back(duplicate && i > 0 ? handles[0] : CreateEventW(nullptr, TRUE, TRUE, nullptr));
    if (closed)
        CloseHandle(handles[0]);
    SetLastError(ERROR_SUCCESS);
    QCOMPARE(WaitForMultipleObjects(DWORD(count), handles.data(), waitAll, kGenerousMs), DWORD(WAIT_FAILED));
    QCOMPARE(GetLastError(), error);
    for (int i = 0; i < count; ++i) {
        if (!closed && !(duplicate && i > 0))
            CloseHandle(handles[size_t(i)]);
    }
    QVERIFY(!CloseHandle(reinterpret_cast<HANDLE>(0x7777770)));
}

void TestWin32Sync::threadHandleSignalsOnExit()
{
    DWORD reportedId = 0;
    DWORD createdId = 0;
    ScopedHandle reporter(CreateThread(nullptr, 0, reportThreadId, &reportedId, 0, &createdId));
    QCOMPARE(WaitForSingleObject(reporter.get(), kGenerousMs), DWORD(WAIT_OBJECT_0));
    QCOMPARE(reportedId, createdId);
    QVERIFY(createdId != GetCurrentThreadId());

    ScopedHandle thread(
        CreateThread(nullptr, 0, returnParameter, reinterpret_cast<LPVOID>(uintptr_t(1234)), 0, nullptr));
    QCOMPARE(WaitForSingleObject(thread.get(), INFINITE), DWORD(WAIT_OBJECT_0));
    DWORD exitCode = 0;
    QVERIFY(GetExitCodeThread(thread.get(), &exitCode));
    QCOMPARE(exitCode, DWORD(1234));
    // A finished thread stays signalled.
    QCOMPARE(WaitForSingleObject(thread.get(), 0), DWORD(WAIT_OBJECT_0));
}

void TestWin32Sync::suspendedThreadStartsOnResume()
{
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<int> woken{0};
    WaiterArgs args{event.get(), &woken};
    SetEvent(event.get());
    ScopedHandle thread(CreateThread(nullptr, 0, waitOnce, &args, CREATE_SUSPENDED, nullptr));
    DWORD exitCode = 0;
    QVERIFY(GetExitCodeThread(thread.get(), &exitCode));
    QCOMPARE(exitCode, DWORD(STILL_ACTIVE));
    QCOMPARE(WaitForSingleObject(thread.get(), 20), DWORD(WAIT_TIMEOUT));
    QCOMPARE(woken.load(), 0);
    QCOMPARE(ResumeThread(thread.get()), DWORD(1));
    QCOMPARE(WaitForSingleObject(thread.get(), kGenerousMs), DWORD(WAIT_OBJECT_0));
    QCOMPARE(woken.load(), 1);
}

void TestWin32Sync::semaphoreCountsAndRefusesOverflow()
{
    ScopedHandle semaphore(CreateSemaphoreW(nullptr, 1, 2, nullptr));
    QVERIFY(semaphore.get());
    LONG previous = -1;
    QVERIFY(ReleaseSemaphore(semaphore.get(), 1, &previous));
    QCOMPARE(previous, LONG(1));
    QVERIFY(!ReleaseSemaphore(semaphore.get(), 1, nullptr));
    QCOMPARE(GetLastError(), DWORD(ERROR_TOO_MANY_POSTS));
    QCOMPARE(WaitForSingleObject(semaphore.get(), 0), DWORD(WAIT_OBJECT_0));
    QCOMPARE(WaitForSingleObject(semaphore.get(), 0), DWORD(WAIT_OBJECT_0));
    QCOMPARE(WaitForSingleObject(semaphore.get(), 0), DWORD(WAIT_TIMEOUT));
    QVERIFY(!CreateSemaphoreW(nullptr, 3, 2, nullptr));
}

void TestWin32Sync::criticalSectionIsRecursiveAndExclusive()
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    QVERIFY(TryEnterCriticalSection(&section));

    auto otherThreadGetsIt = [&section] {
        BOOL got = FALSE;
        std::thread other([&] {
            got = TryEnterCriticalSection(&section);
            if (got)
                LeaveCriticalSection(&section);
        });
        other.join();
        return got != FALSE;
    };
    QVERIFY(!otherThreadGetsIt());
    LeaveCriticalSection(&section);
    QVERIFY(!otherThreadGetsIt()); // still held once
    LeaveCriticalSection(&section);
    QVERIFY(otherThreadGetsIt());

    // Exclusion under contention: no increment is lost.
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&section);
                ++counter;
                LeaveCriticalSection(&section);
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(counter, 80000L);
    DeleteCriticalSection(&section);
}

void TestWin32Sync::lastErrorIsPerThread()
{
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seenElsewhere = 1;
    std::thread other([&] {
        seenElsewhere = GetLastError();
        SetLastError(ERROR_FILE_NOT_FOUND);
    });
    other.join();
    QCOMPARE(seenElsewhere, DWORD(ERROR_SUCCESS));
    QCOMPARE(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

QTEST_GUILESS_MAIN(TestWin32Sync)
#include "tst_WindowsSync.moc"
