#pragma once

#include "platform/dshow/ComPtr.h"
#include "platform/dshow/dshow.h"

namespace vistrel::tools {

// The filter's first pin of the given direction, as an application looks for a capture pin.
inline dshow::ComPtr<IPin> firstPin(IBaseFilter *filter, PIN_DIRECTION wanted)
{
    dshow::ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put())) || !pins)
        return {};
    dshow::ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted)
            return pin;
    }
    return {};
}

} // namespace vistrel::tools
