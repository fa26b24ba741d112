// The sink's enumerators: its one pin, and the one type it offers (or none).
#pragma once

#include "platform/dshow/dshow.h"

namespace vistrel::sink {

// An IEnumPins over `pin` (which it holds a reference on), or null when memory runs out.
IEnumPins *newPinEnumerator(IPin *pin);
// An IEnumMediaTypes over a copy of `type`, or over nothing when `type` is null; null when memory runs out.
IEnumMediaTypes *newMediaTypeEnumerator(const AM_MEDIA_TYPE *type);

} // namespace vistrel::sink
