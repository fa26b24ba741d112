// Makes the runtime's classes creatable through CoCreateInstance as soon as the library is loaded, as the
// system's own DirectShow classes are on Windows.
#include "platform/dshow/DeviceEnumerator.h"
#include "platform/dshow/FilterGraph.h"
#include "platform/dshow/FilterMapper.h"
#include "platform/dshow/MemoryAllocator.h"
#include "platform/windows/ComBuiltin.h"

namespace {

struct BuiltinClass
{
    const CLSID &clsid;
    CoBuiltinCreateFunction create;
};

const BuiltinClass kClasses[] = {
    {CLSID_MemoryAllocator, &vistrel::dshow::MemoryAllocator::create},
    {CLSID_FilterGraph, &vistrel::dshow::FilterGraph::create},
    {CLSID_FilterMapper2, &vistrel::dshow::FilterMapper::create},
    {CLSID_SystemDeviceEnum, &vistrel::dshow::DeviceEnumerator::create},
};

struct Registration
{
    Registration()
    {
        for (const BuiltinClass &c : kClasses)
            CoRegisterBuiltinClass(c.clsid, c.create);
    }
    ~Registration()
    {
        for (const BuiltinClass &c : kClasses)
            CoRevokeBuiltinClass(c.clsid);
    }
};

const Registration g_registration;

} // namespace
