#include "driver/filter/base/CAMEvent.h"

CAMEvent::CAMEvent(BOOL fManualReset, HRESULT *phr) : m_hEvent(CreateEventW(NULL, fManualReset, FALSE, NULL))
{
    if (m_hEvent == NULL && phr != NULL && SUCCEEDED(*phr))
        *phr = E_OUTOFMEMORY;
}

CAMEvent::CAMEvent(HRESULT *phr) : CAMEvent(FALSE, phr) {}

CAMEvent::~CAMEvent()
{
    if (m_hEvent != NULL)
        CloseHandle(m_hEvent);
}

void CAMEvent::Set()
{
    if (m_hEvent != NULL)
        SetEvent(m_hEvent);
}

void CAMEvent::Reset()
{
    if (m_hEvent != NULL)
        ResetEvent(m_hEvent);
}

BOOL CAMEvent::Wait(DWORD dwTimeout)
{
    if (m_hEvent == NULL)
        return FALSE;
    return WaitForSingleObject(m_hEvent, dwTimeout) == WAIT_OBJECT_0;
}
