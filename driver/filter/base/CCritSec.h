// A recursive lock over a CRITICAL_SECTION, and its scope guard.
#pragma once

#include "platform/windows/win32.h"

class CCritSec
{
public:
    CCritSec();
    ~CCritSec();

    CCritSec(const CCritSec &) = delete;
    CCritSec &operator=(const CCritSec &) = delete;

    void Lock();
    void Unlock();

private:
    CRITICAL_SECTION m_CritSec;
};

// Holds the lock for the lifetime of the guard.
class CAutoLock
{
public:
    explicit CAutoLock(CCritSec *plock) : m_pLock(plock) { m_pLock->Lock(); }
    ~CAutoLock() { m_pLock->Unlock(); }

    CAutoLock(const CAutoLock &) = delete;
    CAutoLock &operator=(const CAutoLock &) = delete;

protected:
    CCritSec *m_pLock;
};
