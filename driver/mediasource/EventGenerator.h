// The event generator methods the source and its stream share: each forwards to the object's event queue,
// or answers MF_E_SHUTDOWN when the object has been shut down (a null queue). The queue is called outside
// the object's lock: GetEvent may block until an event comes.
#pragma once

#include "driver/filter/base/BaseDefs.h"
#include "platform/mf/mfidl.h"
#include "platform/windows/ComPtr.h"

namespace EventGenerator {

inline HRESULT getEvent(const ComPtr<IMFMediaEventQueue> &events, DWORD flags, IMFMediaEvent **event)
{
    CheckPointer(event, E_POINTER);
    *event = NULL;
    return events ? events->GetEvent(flags, event) : MF_E_SHUTDOWN;
}

inline HRESULT beginGetEvent(const ComPtr<IMFMediaEventQueue> &events, IMFAsyncCallback *callback,
                             IUnknown *state)
{
    CheckPointer(callback, E_POINTER);
    return events ? events->BeginGetEvent(callback, state) : MF_E_SHUTDOWN;
}

inline HRESULT endGetEvent(const ComPtr<IMFMediaEventQueue> &events, IMFAsyncResult *result,
                           IMFMediaEvent **event)
{
    CheckPointer(event, E_POINTER);
    *event = NULL;
    CheckPointer(result, E_POINTER);
    return events ? events->EndGetEvent(result, event) : MF_E_SHUTDOWN;
}

inline HRESULT queueEvent(const ComPtr<IMFMediaEventQueue> &events, MediaEventType type, REFGUID extendedType,
                          HRESULT status, const PROPVARIANT *value)
{
    return events ? events->QueueEventParamVar(type, extendedType, status, value) : MF_E_SHUTDOWN;
}

} // namespace EventGenerator
