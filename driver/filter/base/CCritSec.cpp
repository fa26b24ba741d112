#include "driver/filter/base/CCritSec.h"

CCritSec::CCritSec()
{
    InitializeCriticalSection(&m_CritSec);
}

CCritSec::~CCritSec()
{
    DeleteCriticalSection(&m_CritSec);
}

void CCritSec::Lock()
{
    EnterCriticalSection(&m_CritSec);
}

void CCritSec::Unlock()
{
    LeaveCriticalSection(&m_CritSec);
}
