// The platform's standard work queue: a few threads that invoke asynchronous callbacks (MFInvokeCallback,
// event queues' BeginGetEvent). Runs between the first MFStartup and the matching MFShutdown.
#pragma once

#include "platform/mf/mfidl.h"

namespace vistrel::mf {

class AsyncResult;

// MF_VERSION check and counting as MFStartup/MFShutdown do; the last shutdown stops the threads and drops the
// work not yet begun.
HRESULT startWorkQueue(ULONG version);
HRESULT stopWorkQueue();

// Calls the result's callback on a work queue thread, keeping a reference to the result until it returns.
// MF_E_SHUTDOWN when the platform is not started.
HRESULT putWorkItem(AsyncResult *result);

} // namespace vistrel::mf
