// The registry file is shared between processes and may be edited, truncated or damaged by anything.
// Parsing must never crash, and whatever it accepts must write out to a text that reads back to the
// same contents (otherwise a later write would silently change the user's registry).
#include "fuzz/FuzzTarget.h"
#include "platform/windows/RegistryTree.h"

#include <string>

using vistrel::win32::RegistryTree;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    RegistryTree tree;
    if (!tree.parse(text))
        return 0;

    const std::string written = tree.serialize();
    RegistryTree again;
    FUZZ_CHECK(again.parse(written));
    FUZZ_CHECK(again.serialize() == written);
    return 0;
}
