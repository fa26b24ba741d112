#include "tests/soak/ChildProcess.h"

#include "platform/windows/win32.h"

struct ChildProcess::Handles
{
    PROCESS_INFORMATION process{};
    HANDLE input = nullptr; // the write end of the child's standard input
};

std::unique_ptr<ChildProcess> ChildProcess::startSelf(const std::vector<std::string> &arguments,
                                                      std::string &error)
{
    wchar_t program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        error = "cannot find this program's file";
        return nullptr;
    }
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\"";
    for (const std::string &argument : arguments)
        commandLine += L" " + std::wstring(argument.begin(), argument.end()); // plain ASCII options
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        error = "CreatePipe failed";
        return nullptr;
    }
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    auto handles = std::make_unique<Handles>();
    const BOOL started = CreateProcessW(program, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &handles->process);
    CloseHandle(readEnd);
    if (!started) {
        CloseHandle(writeEnd);
        error = "CreateProcess failed: " + std::to_string(GetLastError());
        return nullptr;
    }
    CloseHandle(handles->process.hThread);
    handles->input = writeEnd;
    return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(handles)));
}

ChildProcess::ChildProcess(std::unique_ptr<Handles> handles) : m_handles(std::move(handles)) {}

ChildProcess::~ChildProcess()
{
    closeInput();
    int status = 0;
    if (!ended(status)) {
        kill();
        WaitForSingleObject(m_handles->process.hProcess, INFINITE);
    }
    CloseHandle(m_handles->process.hProcess);
}

uint32_t ChildProcess::id() const
{
    return uint32_t(m_handles->process.dwProcessId);
}

void ChildProcess::closeInput()
{
    if (m_handles->input != nullptr)
        CloseHandle(m_handles->input);
    m_handles->input = nullptr;
}

void ChildProcess::kill()
{
    TerminateProcess(m_handles->process.hProcess, 137);
}

bool ChildProcess::ended(int &status)
{
    if (WaitForSingleObject(m_handles->process.hProcess, 0) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    GetExitCodeProcess(m_handles->process.hProcess, &code);
    status = int(code);
    return true;
}
