// The order in which the graph changes its filters' states: every filter after all filters downstream of it,
// so that renderers are ready before their sources start to push.
#pragma once

#include "platform/dshow/dshow.h"
#include "platform/windows/ComPtr.h"

#include <vector>

namespace vistrel::dshow {

// The filters of `filters` (in the graph's order of addition) reordered downstream first. Connections to
// filters outside the list are ignored; filters in a cycle keep their relative order.
std::vector<ComPtr<IBaseFilter>> downstreamFirst(const std::vector<ComPtr<IBaseFilter>> &filters);

} // namespace vistrel::dshow
