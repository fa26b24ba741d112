#include "driver/filter/base/CSourceStream.h"

CSourceStream::CSourceStream(LPCTSTR pObjectName, HRESULT *phr, CSource *ps, LPCWSTR pPinName)
    : CAMThread(phr), CBaseOutputPin(pObjectName, ps, ps->pStateLock(), phr, pPinName), m_pFilter(ps)
{
    const HRESULT hr = m_pFilter->AddPin(this);
    // An earlier failure (an event or the name that could not be made) is not hidden by the add.
    if (phr != NULL && (SUCCEEDED(*phr) || FAILED(hr)))
        *phr = hr;
}

CSourceStream::~CSourceStream()
{
    // The filter stops its pins before deleting them; should a worker still run here, end it rather than
    // leave the destructor below waiting for it for ever.
    if (ThreadExists()) {
        Stop();
        Exit();
        Close();
    }
    m_pFilter->RemovePin(this);
}

HRESULT CSourceStream::Active()
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (m_pFilter->IsActive())
        return S_FALSE;
    if (!IsConnected())
        return S_OK;

    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr))
        return hr;
    if (!Create()) {
        CBaseOutputPin::Inactive();
        return E_FAIL;
    }
    hr = Init();
    if (SUCCEEDED(hr))
        hr = Pause();
    if (FAILED(hr)) {
        // The filter stays stopped, so leave nothing behind that only a stop would clear: a worker that
        // failed to start has ended already (the exit then fails at once), a paused one is told to exit.
        Exit();
        Close();
        CBaseOutputPin::Inactive();
    }
    return hr;
}

HRESULT CSourceStream::Inactive()
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (!IsConnected())
        return S_OK;

    // The allocator goes first, so that a worker waiting for a buffer wakes up and sees the stop.
    HRESULT hr = CBaseOutputPin::Inactive();
    if (ThreadExists()) {
        const HRESULT hrStop = Stop();
        const HRESULT hrExit = Exit();
        // Close waits for the thread: only when it was told to exit, or has ended on its own.
        if (SUCCEEDED(hrExit) || WaitForSingleObject(m_hThread, 0) == WAIT_OBJECT_0)
            Close();
        if (SUCCEEDED(hr))
            hr = FAILED(hrStop) ? hrStop : hrExit;
    }
    return FAILED(hr) ? hr : S_OK;
}

BOOL CSourceStream::CheckRequest(Command *pCom)
{
    DWORD param = 0;
    if (!CAMThread::CheckRequest(&param))
        return FALSE;
    if (pCom != NULL)
        *pCom = static_cast<Command>(param);
    return TRUE;
}

HRESULT CSourceStream::CheckMediaType(const CMediaType *pMediaType)
{
    CheckPointer(pMediaType, E_POINTER);
    CAutoLock lock(m_pFilter->pStateLock());
    CMediaType mt;
    GetMediaType(&mt);
    return mt == *pMediaType ? S_OK : E_FAIL;
}

HRESULT CSourceStream::GetMediaType(int iPosition, CMediaType *pMediaType)
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (iPosition < 0)
        return E_INVALIDARG;
    if (iPosition > 0)
        return VFW_S_NO_MORE_ITEMS;
    return GetMediaType(pMediaType);
}

DWORD CSourceStream::ThreadProc()
{
    Command com;
    do {
        com = GetRequest();
        if (com != CMD_INIT)
            Reply(static_cast<DWORD>(E_UNEXPECTED));
    } while (com != CMD_INIT);

    HRESULT hr = OnThreadCreate();
    if (FAILED(hr)) {
        OnThreadDestroy();
        Reply(static_cast<DWORD>(hr));
        return 1;
    }
    Reply(static_cast<DWORD>(S_OK));

    Command cmd;
    do {
        cmd = GetRequest();
        switch (cmd) {
        case CMD_EXIT:
            Reply(static_cast<DWORD>(S_OK));
            break;
        case CMD_RUN:
        case CMD_PAUSE:
            Reply(static_cast<DWORD>(S_OK));
            DoBufferProcessingLoop();
            break;
        case CMD_STOP:
            Reply(static_cast<DWORD>(S_OK));
            break;
        default:
            Reply(static_cast<DWORD>(E_NOTIMPL));
            break;
        }
    } while (cmd != CMD_EXIT);

    hr = OnThreadDestroy();
    return FAILED(hr) ? 1 : 0;
}

HRESULT CSourceStream::DoBufferProcessingLoop()
{
    Command com = CMD_INIT;
    OnThreadStartPlay();
    do {
        while (!CheckRequest(&com)) {
            IMediaSample *pSample = NULL;
            HRESULT hr = GetDeliveryBuffer(&pSample, NULL, NULL, 0);
            if (FAILED(hr) || pSample == NULL) {
                // No buffer now (for instance while the allocator is decommitted): ask again shortly.
                Sleep(1);
                continue;
            }

            hr = FillBuffer(pSample);
            if (hr == S_OK) {
                hr = Deliver(pSample);
                pSample->Release();
                // Downstream refused or is flushing: stop pushing until the next command.
                if (hr != S_OK)
                    return S_OK;
            } else if (hr == S_FALSE) {
                pSample->Release();
                DeliverEndOfStream();
                return S_OK;
            } else {
                pSample->Release();
                DeliverEndOfStream();
                m_pFilter->NotifyEvent(EC_ERRORABORT, hr, 0);
                return hr;
            }
        }

        // Pause and run need nothing from the loop; a stop is left for ThreadProc to answer.
        if (com == CMD_RUN || com == CMD_PAUSE)
            Reply(static_cast<DWORD>(S_OK));
        else if (com != CMD_STOP)
            Reply(static_cast<DWORD>(E_UNEXPECTED));
    } while (com != CMD_STOP);
    return S_FALSE;
}
