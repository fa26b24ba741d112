// Shared bits of the runtime's tests.
#pragma once

#include "platform/dshow/RuntimeObjects.h"
#include "platform/dshow/dshow.h"

// The current reference count of a COM object, seen from outside.
inline ULONG referenceCount(IUnknown *object)
{
    object->AddRef();
    return object->Release();
}

// Written into out-parameters before a call, to prove the call wrote or cleared them.
template <class T> T *sentinel()
{
    return reinterpret_cast<T *>(static_cast<uintptr_t>(0xdeadbeef));
}
