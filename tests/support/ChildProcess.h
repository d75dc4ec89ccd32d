#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace lh::test {

// Starting and ending helper programs in tests, every wait bounded.
namespace ChildProcess {

// Starts `argv` (found on PATH) with standard input from /dev/null and standard output and
// error appended to `logPath`; in a process group of its own when `ownGroup`, so it and its
// children can be ended together. Returns the pid, or -1.
pid_t start(const std::vector<std::string>& argv, const std::string& logPath, bool ownGroup);

// Reaps the child; false when it has not ended within `timeout`.
bool waitForExit(pid_t pid, std::chrono::milliseconds timeout, int* status = nullptr);

// True while the child runs (reaps it once it has ended).
bool isRunning(pid_t pid);

// Runs `argv` to its end; true when it exits with status 0 within `timeout` (it is killed
// otherwise).
bool run(const std::vector<std::string>& argv, const std::string& logPath = "/dev/null",
    std::chrono::milliseconds timeout = std::chrono::seconds(10));

// SIGKILL to the group led by `pid`, then reaps the leader.
void killGroup(pid_t pid);

} // namespace ChildProcess
} // namespace lh::test
