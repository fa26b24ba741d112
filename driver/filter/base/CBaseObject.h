// The root of every framework object: a process-wide count of live objects, which tells the COM server
// whether it may be unloaded.
#pragma once

#include "platform/windows/win32.h"

class CBaseObject
{
public:
    explicit CBaseObject(LPCTSTR pName);
    ~CBaseObject();

    CBaseObject(const CBaseObject &) = delete;
    CBaseObject &operator=(const CBaseObject &) = delete;

    // Objects of the framework's classes alive in this process right now.
    static LONG ObjectsActive();

private:
    static volatile LONG m_cObjects;
};
