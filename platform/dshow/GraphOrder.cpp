#include "platform/dshow/GraphOrder.h"

#include <algorithm>

namespace vistrel::dshow {

namespace {

// The filters that the output pins of `filter` feed.
std::vector<IBaseFilter *> downstreamOf(IBaseFilter *filter)
{
    std::vector<IBaseFilter *> result;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.ReleaseAndGetAddressOf())) || !pins)
        return result;
    for (;;) {
        ComPtr<IPin> pin;
        ULONG fetched = 0;
        if (pins->Next(1, pin.ReleaseAndGetAddressOf(), &fetched) != S_OK || fetched != 1)
            break;
        PIN_DIRECTION direction = PINDIR_INPUT;
        if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT)
            continue;
        ComPtr<IPin> peer;
        if (FAILED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) || !peer)
            continue;
        PIN_INFO info{};
        if (FAILED(peer->QueryPinInfo(&info)))
            continue;
        // Only the identity matters here; the reference that QueryPinInfo added is not kept.
        if (info.pFilter) {
            result.push_back(info.pFilter);
            info.pFilter->Release();
        }
    }
    return result;
}

} // namespace

std::vector<ComPtr<IBaseFilter>> downstreamFirst(const std::vector<ComPtr<IBaseFilter>> &filters)
{
    const size_t count = filters.size();
    // feeds[i] holds the indexes of the filters that filter i feeds.
    std::vector<std::vector<size_t>> feeds(count);
    for (size_t i = 0; i < count; ++i) {
        for (IBaseFilter *target : downstreamOf(filters[i].Get())) {
            for (size_t j = 0; j < count; ++j) {
                if (j != i && filters[j].Get() == target)
                    feeds[i].push_back(j);
            }
        }
    }

    std::vector<ComPtr<IBaseFilter>> ordered;
    std::vector<bool> placed(count, false);
    while (ordered.size() < count) {
        bool progress = false;
        for (size_t i = 0; i < count; ++i) {
            if (placed[i])
                continue;
            const bool ready =
                std::all_of(feeds[i].begin(), feeds[i].end(), [&placed](size_t j) { return placed[j]; });
            if (ready) {
                placed[i] = true;
                ordered.push_back(filters[i]);
                progress = true;
            }
        }
        if (!progress) {
            // A cycle: the rest go in their own order.
            for (size_t i = 0; i < count; ++i) {
                if (!placed[i]) {
                    placed[i] = true;
                    ordered.push_back(filters[i]);
                }
            }
        }
    }
    return ordered;
}

} // namespace vistrel::dshow
