#include "platform/windows/regsvr/RegistrationCommand.h"

namespace {

// Accepts both "/u" (Windows' spelling) and "-u" / "--unregister".
bool isSwitch(const std::string &arg, const char *shortName, const char *longName)
{
    return arg == std::string("/") + shortName || arg == std::string("-") + shortName ||
           arg == std::string("--") + longName;
}

} // namespace

bool parseRegistrationCommand(int argc, const char *const *argv, RegistrationCommand *command,
                              std::string *error)
{
    *command = RegistrationCommand();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (isSwitch(arg, "h", "help") || arg == "/?") {
            command->showHelp = true;
        } else if (isSwitch(arg, "u", "unregister")) {
            command->unregister = true;
        } else if (isSwitch(arg, "s", "silent")) {
            // Windows' tool shows message boxes unless told not to; this one only prints.
        } else if (isSwitch(arg, "i", "install")) {
            command->install = true;
        } else if (arg.rfind("/i:", 0) == 0 || arg.rfind("-i:", 0) == 0 || arg.rfind("--install=", 0) == 0) {
            command->install = true;
            command->commandLine = arg.substr(arg.find_first_of(":=") + 1);
        } else if (!arg.empty() && (arg[0] == '-' || (arg[0] == '/' && arg.size() <= 3))) {
            *error = "unknown switch '" + arg + "'";
            return false;
        } else if (command->library.empty()) {
            command->library = arg;
        } else {
            *error = "more than one library given ('" + command->library + "' and '" + arg + "')";
            return false;
        }
    }
    if (!command->showHelp && command->library.empty()) {
        *error = "no server library given";
        return false;
    }
    return true;
}

std::string registrationUsage(const char *program)
{
    return std::string("Usage: ") + program +
           " [/u] [/i[:cmdline]] LIBRARY\n"
           "Registers or unregisters an in-process COM server library.\n"
           "\n"
           "  (none)           call DllRegisterServer\n"
           "  /u, --unregister call DllUnregisterServer\n"
           "  /i[:cmdline]     call DllInstall(TRUE, cmdline) instead; with /u DllInstall(FALSE, cmdline)\n"
           "  /s               accepted for compatibility; nothing is ever shown but this output\n"
           "\n"
           "Exit status: 0 on success, 1 for a bad command line, 2 when the library cannot be loaded,\n"
           "3 when it lacks the entry point, 4 when the entry point reports a failure.\n";
}

const char *registrationEntryPoint(const RegistrationCommand &command)
{
    if (command.install)
        return "DllInstall";
    return command.unregister ? "DllUnregisterServer" : "DllRegisterServer";
}
