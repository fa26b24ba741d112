// One worker thread and a request/reply handshake with it: callers send a command one at a time and
// wait for the worker's reply.
#pragma once

#include "driver/filter/base/CAMEvent.h"
#include "driver/filter/base/CCritSec.h"

class CAMThread
{
public:
    explicit CAMThread(HRESULT *phr = NULL);
    virtual ~CAMThread();

    CAMThread(const CAMThread &) = delete;
    CAMThread &operator=(const CAMThread &) = delete;

    // Starts the thread; FALSE if one exists already or it could not be started.
    BOOL Create();
    // Sends a command and waits for the reply. E_FAIL when there is no thread, or when the thread ends
    // without replying.
    DWORD CallWorker(DWORD dwParam);
    // Waits for the thread to end and forgets it.
    void Close();
    BOOL ThreadExists() const;

    // Worker side: wait for a command.
    DWORD GetRequest();
    // Worker side: whether a command is pending (and which), without waiting and without taking it.
    BOOL CheckRequest(DWORD *pParam);
    // Worker side: answer the pending command.
    void Reply(DWORD dw);

    HANDLE GetRequestHandle() const { return m_EventSend; }
    DWORD GetRequestParam() const { return m_dwParam; }

    // Enters COM's multithreaded apartment for the calling thread.
    static HRESULT CoInitializeHelper();

    CCritSec m_AccessLock; // one caller at a time
    CCritSec m_WorkerLock; // free for the worker's own use

protected:
    static DWORD WINAPI InitialThreadProc(LPVOID pv);
    virtual DWORD ThreadProc() = 0;

    HANDLE m_hThread;

private:
    // The handle is set and taken under different locks (Create under the caller lock, Close by the
    // pin's state change), so it is read and written atomically.
    HANDLE LoadThreadHandle() const;

    CAMEvent m_EventSend;     // manual reset: stays set until the worker replies
    CAMEvent m_EventComplete; // auto reset: one reply per command
    volatile DWORD m_dwParam;
    volatile DWORD m_dwReturnVal;
};
