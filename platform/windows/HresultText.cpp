#include "platform/windows/HresultText.h"

#include <cstdio>

namespace {

struct KnownCode
{
    uint32_t code;
    const char *name;
    const char *words;
};

constexpr KnownCode kKnownCodes[] = {
    {0x00000000, "S_OK", "success"},
    {0x00000001, "S_FALSE", "success, with nothing done"},
    {0x80004001, "E_NOTIMPL", "not implemented"},
    {0x80004002, "E_NOINTERFACE", "no such interface supported"},
    {0x80004003, "E_POINTER", "invalid pointer"},
    {0x80004004, "E_ABORT", "operation aborted"},
    {0x80004005, "E_FAIL", "unspecified failure"},
    {0x8000FFFF, "E_UNEXPECTED", "unexpected failure"},
    {0x80070005, "E_ACCESSDENIED", "access denied"},
    {0x80070006, "E_HANDLE", "invalid handle"},
    {0x8007000E, "E_OUTOFMEMORY", "out of memory"},
    {0x80070057, "E_INVALIDARG", "invalid argument"},
    {0x80070002, "HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)", "the file was not found"},
    {0x80070003, "HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)", "the path was not found"},
    {0x8007000D, "HRESULT_FROM_WIN32(ERROR_INVALID_DATA)", "the data is invalid"},
    {0x8007001D, "HRESULT_FROM_WIN32(ERROR_WRITE_FAULT)", "the device cannot be written to"},
    {0x80070070, "HRESULT_FROM_WIN32(ERROR_DISK_FULL)", "there is not enough space on the disk"},
    {0x8007007A, "HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)", "the data area passed is too small"},
    {0x8007007E, "HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)", "the module could not be found"},
    {0x8007007F, "HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)", "the procedure could not be found"},
    {0x800703F4, "HRESULT_FROM_WIN32(ERROR_CANTREAD)", "the registry could not be read"},
    {0x800703F5, "HRESULT_FROM_WIN32(ERROR_CANTWRITE)", "the registry could not be written"},
    {0x800703F8, "HRESULT_FROM_WIN32(ERROR_REGISTRY_IO_FAILED)", "the registry file could not be accessed"},
    {0x80040110, "CLASS_E_NOAGGREGATION", "the class does not support aggregation"},
    {0x80040111, "CLASS_E_CLASSNOTAVAILABLE", "the class factory cannot supply the requested class"},
    {0x80040154, "REGDB_E_CLASSNOTREG", "the class is not registered"},
    {0x800401F0, "CO_E_NOTINITIALIZED", "COM has not been initialised on this thread"},
    {0x80010106, "RPC_E_CHANGED_MODE", "COM was already initialised on this thread in another mode"},
    {0x80040203, "VFW_E_ENUM_OUT_OF_SYNC", "the enumerator has become invalid"},
    {0x80040209, "VFW_E_NOT_CONNECTED", "the pin is not connected"},
    {0x8004020A, "VFW_E_NO_ALLOCATOR", "no sample buffer allocator is available"},
    {0x80040207, "VFW_E_NO_ACCEPTABLE_TYPES", "there is no common media type between these pins"},
    {0x8004022A, "VFW_E_TYPE_NOT_ACCEPTED", "this pin cannot use the supplied media type"},
    {0x80040217, "VFW_E_CANNOT_CONNECT", "no combination of intermediate filters could connect the pins"},
    {0x80040224, "VFW_E_NOT_STOPPED", "the operation cannot be performed because the filter is active"},
    {0x80040227, "VFW_E_WRONG_STATE", "the operation cannot be performed in the current state"},
    {0x80040216, "VFW_E_NOT_FOUND", "the object or name was not found"},
};

} // namespace

std::string hresultName(uint32_t hr)
{
    for (const KnownCode &known : kKnownCodes) {
        if (known.code == hr)
            return known.name;
    }
    return std::string();
}

std::string hresultText(uint32_t hr)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(hr));
    for (const KnownCode &known : kKnownCodes) {
        if (known.code == hr)
            return std::string(known.name) + " (" + hex + "): " + known.words;
    }
    if ((hr & 0xFFFF0000u) == 0x80070000u)
        return std::string("Win32 error ") + std::to_string(hr & 0xFFFFu) + " (" + hex + ")";
    return std::string((hr & 0x80000000u) ? "failure" : "success") + " (" + hex + ")";
}
