#pragma once

#include <string>
#include <sys/types.h>

namespace lh::test {

// A real network share for tests: an sshd inside a network namespace made for this share
// alone, reached over a veth pair on a private link-local /30, mounted here with sshfs.
//
// Cutting the link makes every read on the share block, as a vanished file server does
// (no keep-alives are configured, so nothing gives up early). Tearing down always works:
// the share is lazily unmounted and the sshfs process killed, which fails any read still
// blocked on it; the processes in the namespace are killed by pid and the namespace deleted.
// A guardian process does the same when the test process ends without tearing down (a
// sanitizer's report, a crash): a process whose threads wait on a cut share cannot finish
// dying until the share's client ends, and would otherwise hang until the test's timeout.
// Needs root, sshfs, sshd and ip.
class SshfsShare {
public:
    // Why a share cannot be set up here, or "" when it can.
    static std::string unavailableReason();

    // Sets the share up; throws std::runtime_error saying which step failed (having torn
    // down what it made).
    SshfsShare();
    ~SshfsShare();

    SshfsShare(const SshfsShare&) = delete;
    SshfsShare& operator=(const SshfsShare&) = delete;

    // Where the share is mounted, and the folder the server serves (tests put files there).
    const std::string& mountPoint() const { return mountPoint_; }
    const std::string& servedFolder() const { return servedFolder_; }

    void cutLink();
    void restoreLink();

    // Idempotent; never throws; bounded in time.
    void tearDown();

    // Tears down every share still set up (for a test environment's end).
    static void tearDownAll();

private:
    void setUp();
    void startServer();
    void mount();
    void startGuardian();
    bool isMounted() const;
    bool canSeeReadyFile() const;
    void killNamespaceProcesses() const;
    void fail(const std::string& step);

    int index_ = 0;
    std::string folder_; // the temporary folder holding everything below
    std::string mountPoint_;
    std::string servedFolder_;
    std::string namespace_;
    std::string hostLink_;
    std::string namespaceLink_;
    std::string hostAddress_;
    std::string serverAddress_;
    pid_t server_ = -1;
    pid_t sshfs_ = -1;
    pid_t guardian_ = -1;
    bool isSetUp_ = false;
};

} // namespace lh::test
