// The driver's log lines, counted rather than printed: a paused pin alone writes one per millisecond.
// CMake picks DriverLinesQt.cpp where the driver shares the program's Qt (Linux), DriverLinesWindows.cpp
// where it carries a static Qt of its own.
#pragma once

namespace DriverLines {

// Before the driver is loaded: it forwards its lines to the handler in force when it was loaded.
void startCounting();
// Lines counted so far; -1 where they cannot be seen from this program.
long long counted();

} // namespace DriverLines
