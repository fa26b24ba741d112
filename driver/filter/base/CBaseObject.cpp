#include "driver/filter/base/CBaseObject.h"

volatile LONG CBaseObject::m_cObjects = 0;

CBaseObject::CBaseObject(LPCTSTR /*pName*/)
{
    InterlockedIncrement(&m_cObjects);
}

CBaseObject::~CBaseObject()
{
    InterlockedDecrement(&m_cObjects);
}

LONG CBaseObject::ObjectsActive()
{
    // An interlocked read: objects come and go on other threads.
    return InterlockedCompareExchange(&m_cObjects, 0, 0);
}
