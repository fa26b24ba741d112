// The clock that stamps delivered samples: the high-resolution performance counter in 100-ns units.
#pragma once

#include "platform/windows/win32.h"

// The counter's current reading in 100-ns units, minus `origin`; with origin 0 the absolute reading.
// The counter frequency is read on first use in the process and kept.
LONGLONG clock100ns(LONGLONG origin);
