#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace lh::test::ChildProcess {

pid_t start(const std::vector<std::string>& argv, const std::string& logPath, bool ownGroup)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (ownGroup) {
        flags |= POSIX_SPAWN_SETPGROUP;
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    posix_spawnattr_setflags(&attributes, flags);

    pid_t pid = -1;
    if (::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ) != 0)
        pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool waitForExit(pid_t pid, std::chrono::milliseconds timeout, int* status)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int result = 0;
        const pid_t waited = ::waitpid(pid, &result, WNOHANG);
        if (waited == pid || (waited < 0 && errno == ECHILD)) {
            if (status)
                *status = waited == pid ? result : -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool isRunning(pid_t pid)
{
    return !waitForExit(pid, std::chrono::milliseconds(0));
}

bool run(const std::vector<std::string>& argv, const std::string& logPath, std::chrono::milliseconds timeout)
{
    const pid_t pid = start(argv, logPath, false);
    if (pid < 0)
        return false;
    int status = -1;
    if (!waitForExit(pid, timeout, &status)) {
        ::kill(pid, SIGKILL);
        waitForExit(pid, std::chrono::seconds(5));
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void killGroup(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(-pid, SIGKILL);
    waitForExit(pid, std::chrono::seconds(5));
}

} // namespace lh::test::ChildProcess
