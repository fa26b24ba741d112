#include "driver/filter/base/CAMThread.h"

CAMThread::CAMThread(HRESULT *phr)
    : m_hThread(NULL), m_EventSend(TRUE, phr), m_EventComplete(FALSE, phr), m_dwParam(0), m_dwReturnVal(0)
{
}

CAMThread::~CAMThread()
{
    Close();
}

HANDLE CAMThread::LoadThreadHandle() const
{
    return __atomic_load_n(&m_hThread, __ATOMIC_ACQUIRE);
}

BOOL CAMThread::ThreadExists() const
{
    return LoadThreadHandle() != NULL;
}

BOOL CAMThread::Create()
{
    CAutoLock lock(&m_AccessLock);
    if (ThreadExists())
        return FALSE;
    // A new thread starts with no command pending and no reply left over from an earlier one.
    m_EventSend.Reset();
    m_EventComplete.Reset();
    DWORD threadId = 0;
    HANDLE hThread = CreateThread(NULL, 0, &CAMThread::InitialThreadProc, this, 0, &threadId);
    if (hThread == NULL)
        return FALSE;
    __atomic_store_n(&m_hThread, hThread, __ATOMIC_RELEASE);
    return TRUE;
}

DWORD CAMThread::CallWorker(DWORD dwParam)
{
    CAutoLock lock(&m_AccessLock);
    HANDLE hThread = LoadThreadHandle();
    if (hThread == NULL)
        return static_cast<DWORD>(E_FAIL);

    m_dwParam = dwParam;
    m_EventSend.Set();

    // Waiting on the thread as well means that a worker which has ended cannot leave us waiting for ever.
    // A reply wins over the end of the thread when both are there (the lower index is reported first).
    const HANDLE handles[2] = {m_EventComplete, hThread};
    const DWORD wait = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (wait == WAIT_OBJECT_0)
        return m_dwReturnVal;
    m_EventSend.Reset();
    return static_cast<DWORD>(E_FAIL);
}

void CAMThread::Close()
{
    HANDLE hThread = __atomic_exchange_n(&m_hThread, static_cast<HANDLE>(NULL), __ATOMIC_ACQ_REL);
    if (hThread != NULL) {
        WaitForSingleObject(hThread, INFINITE);
        CloseHandle(hThread);
    }
}

DWORD CAMThread::GetRequest()
{
    m_EventSend.Wait();
    return m_dwParam;
}

BOOL CAMThread::CheckRequest(DWORD *pParam)
{
    if (!m_EventSend.Check())
        return FALSE;
    if (pParam != NULL)
        *pParam = m_dwParam;
    return TRUE;
}

void CAMThread::Reply(DWORD dw)
{
    m_dwReturnVal = dw;
    // Clear the request before the caller can send the next one.
    m_EventSend.Reset();
    m_EventComplete.Set();
}

HRESULT CAMThread::CoInitializeHelper()
{
    return CoInitializeEx(NULL, COINIT_DISABLE_OLE1DDE);
}

DWORD WINAPI CAMThread::InitialThreadProc(LPVOID pv)
{
    const HRESULT hrCoInit = CoInitializeHelper();
    CAMThread *pThread = static_cast<CAMThread *>(pv);
    DWORD result = 1;
    // Nothing thrown by the worker's code may leave the thread.
    try {
        result = pThread->ThreadProc();
    } catch (...) {
        result = 1;
    }
    if (SUCCEEDED(hrCoInit))
        CoUninitialize();
    return result;
}
