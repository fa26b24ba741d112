// Internal: the per-user registry file, read and written under an inter-process lock.
#pragma once

#include "platform/windows/RegistryTree.h"

#include <functional>
#include <string>

namespace vistrel::win32 {

// $XDG_CONFIG_HOME/vistrel/registry, or ~/.config/vistrel/registry.
std::string registryFilePath();

// Runs `operation` on the current contents of the file, read afresh under the lock (shared for reads,
// exclusive for writes). When a write operation succeeds and reports a change, the file is replaced
// atomically before the lock is released. A damaged file gives ERROR_REGISTRY_CORRUPT and stays as it is.
using RegistryOperation = std::function<LONG(RegistryTree &tree, bool &changed)>;
LONG runRegistryTransaction(bool write, const RegistryOperation &operation);

} // namespace vistrel::win32
