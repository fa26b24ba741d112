#pragma once

#include "platform/dshow/dshow.h"
#include "platform/windows/ComPtr.h"

namespace vistrel::tools {

// The filter's first pin of the given direction, as an application looks for a capture pin.
inline ComPtr<IPin> firstPin(IBaseFilter *filter, PIN_DIRECTION wanted)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.ReleaseAndGetAddressOf())) || !pins)
        return {};
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted)
            return pin;
    }
    return {};
}

} // namespace vistrel::tools
