// An output pin of a CSource with its own worker thread: the thread exists from the pause that leaves
// the stopped state until the next stop, and pushes samples that the derived pin fills.
#pragma once

#include "driver/filter/base/CAMThread.h"
#include "driver/filter/base/CBaseOutputPin.h"
#include "driver/filter/base/CSource.h"

class CSourceStream : public CAMThread, public CBaseOutputPin
{
public:
    // Adds the pin to `pms`; the result of that lands in `phr`.
    CSourceStream(LPCTSTR pObjectName, HRESULT *phr, CSource *pms, LPCWSTR pName);
    ~CSourceStream() override;

protected:
    CSource *m_pFilter; // not counted: the filter owns the pin

    // Fills one sample: S_OK to deliver it, S_FALSE to end the stream, a failure to abort it.
    virtual HRESULT FillBuffer(IMediaSample *pSamp) = 0;

    // Worker-thread hooks: as the thread starts, as it ends, and as each delivery run begins.
    virtual HRESULT OnThreadCreate() { return S_OK; }
    virtual HRESULT OnThreadDestroy() { return S_OK; }
    virtual HRESULT OnThreadStartPlay() { return S_OK; }

public:
    // Start and stop the worker thread; called by the filter under its state lock.
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Requests are DWORDs and a caller may send any value, so the type holds every DWORD.
    enum Command : DWORD
    {
        CMD_INIT,
        CMD_PAUSE,
        CMD_RUN,
        CMD_STOP,
        CMD_EXIT
    };
    HRESULT Init() { return static_cast<HRESULT>(CallWorker(CMD_INIT)); }
    HRESULT Exit() { return static_cast<HRESULT>(CallWorker(CMD_EXIT)); }
    HRESULT Run() { return static_cast<HRESULT>(CallWorker(CMD_RUN)); }
    HRESULT Pause() { return static_cast<HRESULT>(CallWorker(CMD_PAUSE)); }
    HRESULT Stop() { return static_cast<HRESULT>(CallWorker(CMD_STOP)); }
    // The pin's part in the filter's Run (nothing to do: the worker is already delivering).
    using CBaseOutputPin::Run;

protected:
    Command GetRequest() { return static_cast<Command>(CAMThread::GetRequest()); }
    BOOL CheckRequest(Command *pCom);

    // Takes commands until told to exit, running the delivery loop after each pause or run.
    DWORD ThreadProc() override;
    // Fills and delivers samples until a command arrives or the stream ends.
    virtual HRESULT DoBufferProcessingLoop();

    // A source offers the one type of the one-argument GetMediaType and accepts only that.
    HRESULT CheckMediaType(const CMediaType *pMediaType) override;
    HRESULT GetMediaType(int iPosition, CMediaType *pMediaType) override;
    virtual HRESULT GetMediaType(CMediaType * /*pMediaType*/) { return E_UNEXPECTED; }
};
