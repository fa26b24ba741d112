// With --trace, one line per fault and client action, stamped with the time into the run, so that a seed
// that fails can be read step by step. Silent otherwise.
#pragma once

#include <string>

namespace SoakTrace {

// From the start of the run on.
void enable();
void line(const std::string &what);

} // namespace SoakTrace
