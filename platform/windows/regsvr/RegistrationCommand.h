#pragma once

#include <string>

// What the registration tool was asked to do, in the words of Windows' own tool: register (the
// default), /u unregister, /i[:cmdline] call DllInstall (with /u: uninstall) instead.
struct RegistrationCommand
{
    bool unregister = false;
    bool install = false;    // call DllInstall instead of DllRegisterServer / DllUnregisterServer
    std::string commandLine; // handed to DllInstall
    std::string library;
    bool showHelp = false;
};

bool parseRegistrationCommand(int argc, const char *const *argv, RegistrationCommand *command,
                              std::string *error);
std::string registrationUsage(const char *program);
// The export the command calls: "DllRegisterServer", "DllUnregisterServer" or "DllInstall".
const char *registrationEntryPoint(const RegistrationCommand &command);
