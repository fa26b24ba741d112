// An owned Win32 event: created with the object, closed with it.
#pragma once

#include "platform/windows/win32.h"

class CAMEvent
{
public:
    // A failure to create the event is reported through `phr` (E_OUTOFMEMORY) when it still holds success.
    explicit CAMEvent(BOOL fManualReset = FALSE, HRESULT *phr = NULL);
    explicit CAMEvent(HRESULT *phr);
    ~CAMEvent();

    CAMEvent(const CAMEvent &) = delete;
    CAMEvent &operator=(const CAMEvent &) = delete;

    operator HANDLE() const { return m_hEvent; }

    void Set();
    void Reset();
    // TRUE when the event became signalled within the time-out.
    BOOL Wait(DWORD dwTimeout = INFINITE);
    // Whether the event is signalled now, without waiting. Consumes an auto-reset event.
    BOOL Check() { return Wait(0); }

protected:
    HANDLE m_hEvent;
};
