#include "tests/soak/ChildProcess.h"

#include "tests/soak/ProcessProbe.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

struct ChildProcess::Handles
{
    pid_t pid = -1;
    int input = -1; // the write end of the child's standard input
    bool reaped = false;
    int status = 0;
};

std::unique_ptr<ChildProcess> ChildProcess::startSelf(const std::vector<std::string> &arguments,
                                                      std::string &error)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        error = "pipe failed";
        return nullptr;
    }
    const std::string program = ProcessProbe::programFolder() + "/vistrelsoak";
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
    auto handles = std::make_unique<Handles>();
    const int failed = posix_spawn(&handles->pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[0]);
    if (failed != 0) {
        close(pipeEnds[1]);
        error = "cannot start " + program;
        return nullptr;
    }
    handles->input = pipeEnds[1];
    return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(handles)));
}

ChildProcess::ChildProcess(std::unique_ptr<Handles> handles) : m_handles(std::move(handles)) {}

ChildProcess::~ChildProcess()
{
    closeInput();
    int status = 0;
    if (!ended(status)) {
        kill();
        waitpid(m_handles->pid, &status, 0);
    }
}

uint32_t ChildProcess::id() const
{
    return uint32_t(m_handles->pid);
}

void ChildProcess::closeInput()
{
    if (m_handles->input >= 0)
        close(m_handles->input);
    m_handles->input = -1;
}

void ChildProcess::kill()
{
    if (!m_handles->reaped)
        ::kill(m_handles->pid, SIGKILL);
}

bool ChildProcess::ended(int &status)
{
    if (!m_handles->reaped) {
        int raw = 0;
        if (waitpid(m_handles->pid, &raw, WNOHANG) != m_handles->pid)
            return false;
        m_handles->reaped = true;
        m_handles->status = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? -WTERMSIG(raw) : -1;
    }
    status = m_handles->status;
    return true;
}
