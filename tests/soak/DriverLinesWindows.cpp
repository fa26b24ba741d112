#include "tests/soak/DriverLines.h"

// The driver DLL links Qt statically: its handler is its own, and its lines go to the debugger
// (OutputDebugString), out of this program's reach.
namespace DriverLines {

void startCounting() {}

long long counted()
{
    return -1;
}

} // namespace DriverLines
