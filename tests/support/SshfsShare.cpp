#include "SshfsShare.h"

#include "ChildProcess.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace lh::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* sshd = "/usr/sbin/sshd";
constexpr int port = 2222;

std::mutex registryLock;
std::vector<SshfsShare*> registry;
int nextIndex = 0;

bool isOnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (::access((folder + "/" + program).c_str(), X_OK) == 0)
            return true;
    }
    return ::access(("/usr/sbin/" + program).c_str(), X_OK) == 0;
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// A /30 of 169.254.100.0–169.254.163.255, chosen by pid and share, away from the addresses
// link-local services use (169.254.169.254 and the first and last /24).
std::pair<std::string, std::string> addresses(int index)
{
    const int slot = (static_cast<int>(::getpid()) * 8 + index) % 4096;
    const std::string prefix = "169.254." + std::to_string(100 + slot / 64) + ".";
    const int base = (slot % 64) * 4;
    return { prefix + std::to_string(base + 1), prefix + std::to_string(base + 2) };
}

} // namespace

std::string SshfsShare::unavailableReason()
{
    if (::geteuid() != 0)
        return "needs root (to create a network namespace and mount with FUSE)";
    for (const char* program : { "sshfs", "ssh", "ssh-keygen", "ip" }) {
        if (!isOnPath(program))
            return std::string("needs ") + program + " (scripts/setup-debian installs it)";
    }
    if (::access(sshd, X_OK) != 0)
        return "needs /usr/sbin/sshd (openssh-server; scripts/setup-debian installs it)";
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return "needs /dev/fuse";
    return "";
}

SshfsShare::SshfsShare()
{
    {
        std::lock_guard guard(registryLock);
        index_ = nextIndex++;
        registry.push_back(this);
    }
    try {
        setUp();
    } catch (...) {
        tearDown();
        std::lock_guard guard(registryLock);
        std::erase(registry, this);
        throw;
    }
}

SshfsShare::~SshfsShare()
{
    tearDown();
    std::lock_guard guard(registryLock);
    std::erase(registry, this);
}

void SshfsShare::tearDownAll()
{
    std::lock_guard guard(registryLock);
    for (SshfsShare* share : registry)
        share->tearDown();
}

void SshfsShare::fail(const std::string& step)
{
    const std::string log = readAll(folder_ + "/log");
    throw std::runtime_error("sshfs share: " + step + (log.empty() ? "" : "\n" + log));
}

void SshfsShare::setUp()
{
    char pattern[] = "/tmp/lh-share-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("sshfs share: cannot make a temporary folder");
    folder_ = pattern;
    isSetUp_ = true;
    mountPoint_ = folder_ + "/mnt";
    servedFolder_ = folder_ + "/served";
    std::filesystem::create_directories(mountPoint_);
    std::filesystem::create_directories(servedFolder_);

    const std::string id = std::to_string(::getpid() % 10'000'000) + "x" + std::to_string(index_);
    namespace_ = "lh-share-" + id;
    hostLink_ = "lh" + id + "h";
    namespaceLink_ = "lh" + id + "n";
    std::tie(hostAddress_, serverAddress_) = addresses(index_);

    startServer();
    mount();
    startGuardian();
}

void SshfsShare::startServer()
{
    const std::string log = folder_ + "/log";
    for (const char* key : { "host_key", "client_key" }) {
        if (!ChildProcess::run({ "ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", folder_ + "/" + key }, log))
            fail("ssh-keygen");
    }
    std::filesystem::copy_file(folder_ + "/client_key.pub", folder_ + "/authorized_keys");
    std::ofstream(folder_ + "/sshd_config")
        << "ListenAddress " << serverAddress_ << "\n"
        << "Port " << port << "\n"
        << "HostKey " << folder_ << "/host_key\n"
        << "AuthorizedKeysFile " << folder_ << "/authorized_keys\n"
        << "PermitRootLogin prohibit-password\n"
        << "PasswordAuthentication no\n"
        << "KbdInteractiveAuthentication no\n"
        << "UsePAM no\n"
        << "StrictModes no\n"
        << "PidFile none\n"
        << "Subsystem sftp internal-sftp\n";
    std::filesystem::create_directories("/run/sshd"); // sshd's privilege-separation folder

    const std::vector<std::vector<std::string>> network {
        { "ip", "netns", "add", namespace_ },
        { "ip", "link", "add", hostLink_, "type", "veth", "peer", "name", namespaceLink_ },
        { "ip", "link", "set", namespaceLink_, "netns", namespace_ },
        { "ip", "addr", "add", hostAddress_ + "/30", "dev", hostLink_ },
        { "ip", "link", "set", hostLink_, "up" },
        { "ip", "-n", namespace_, "addr", "add", serverAddress_ + "/30", "dev", namespaceLink_ },
        { "ip", "-n", namespace_, "link", "set", namespaceLink_, "up" },
        { "ip", "-n", namespace_, "link", "set", "lo", "up" },
    };
    for (const auto& command : network) {
        if (!ChildProcess::run(command, log))
            fail("ip " + command[1] + " " + command[2]);
    }
    server_ = ChildProcess::start({ "ip", "netns", "exec", namespace_, sshd, "-D", "-e", "-f", folder_ + "/sshd_config" }, log, true);
    if (server_ < 0)
        fail("cannot start sshd");
}

// The mount point can appear before sshfs has finished its handshake (and vanish when that
// fails), so the share counts as mounted only once a file on it can be seen through it.
void SshfsShare::mount()
{
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (readAll(folder_ + "/log").find("Server listening") == std::string::npos) {
        if (!ChildProcess::isRunning(server_))
            fail("sshd ended");
        if (std::chrono::steady_clock::now() >= deadline)
            fail("sshd did not listen within 20 s");
        std::this_thread::sleep_for(10ms);
    }
    std::ofstream(servedFolder_ + "/.ready") << "ready";
    while (std::chrono::steady_clock::now() < deadline) {
        sshfs_ = ChildProcess::start({ "sshfs", "-f",
                                         "-o", "IdentityFile=" + folder_ + "/client_key",
                                         "-o", "StrictHostKeyChecking=no",
                                         "-o", "UserKnownHostsFile=/dev/null",
                                         "-o", "BatchMode=yes",
                                         "-o", "ConnectTimeout=5",
                                         "-o", "LogLevel=ERROR",
                                         "-o", "port=" + std::to_string(port),
                                         "root@" + serverAddress_ + ":" + servedFolder_, mountPoint_ },
            folder_ + "/log", true);
        if (sshfs_ < 0)
            fail("cannot start sshfs");
        while (std::chrono::steady_clock::now() < deadline && ChildProcess::isRunning(sshfs_)) {
            if (isMounted() && canSeeReadyFile())
                return;
            std::this_thread::sleep_for(20ms);
        }
        ChildProcess::killGroup(sshfs_);
        sshfs_ = -1;
        ::umount2(mountPoint_.c_str(), MNT_DETACH);
        std::this_thread::sleep_for(100ms);
    }
    fail("the share was not mounted within 20 s");
}

// Looks on a thread of its own: a look through a share that is not ready may block.
bool SshfsShare::canSeeReadyFile() const
{
    auto seen = std::make_shared<std::atomic<int>>(0); // 0 still looking, 1 seen, 2 not seen
    std::thread([seen, path = mountPoint_ + "/.ready"] { *seen = ::access(path.c_str(), R_OK) == 0 ? 1 : 2; }).detach();
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (*seen == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    return *seen == 1;
}

// Watches this process from outside. Once it has ended, or its main thread has while others
// are stuck in a read on the share (the state a process dying with the link cut stays in), it
// does what tearDown() does.
void SshfsShare::startGuardian()
{
    const std::string script = R"(
        test_process=$1 mount_point=$2 sshfs=$3 server=$4 link=$5 namespace=$6 folder=$7
        while [ -e "/proc/$test_process" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$test_process/status" 2>/dev/null; do
            sleep 0.2
        done
        umount -l "$mount_point"
        /bin/kill -s KILL -- "-$sshfs"
        for pid in $(ip netns pids "$namespace" 2>/dev/null); do kill -KILL "$pid"; done
        /bin/kill -s KILL -- "-$server"
        ip link del "$link"
        ip netns del "$namespace"
        rm -rf "$folder/served"
        rmdir "$mount_point" && rm -rf "$folder"
    )";
    guardian_ = ChildProcess::start({ "sh", "-c", script, "share-guardian", std::to_string(::getpid()), mountPoint_,
                                        std::to_string(sshfs_), std::to_string(server_), hostLink_, namespace_, folder_ },
        folder_ + "/log", true);
    if (guardian_ < 0)
        fail("cannot start the guardian");
}

bool SshfsShare::isMounted() const
{
    return readAll("/proc/self/mountinfo").find(" " + mountPoint_ + " ") != std::string::npos;
}

void SshfsShare::cutLink()
{
    ChildProcess::run({ "ip", "link", "set", hostLink_, "down" });
}

void SshfsShare::restoreLink()
{
    ChildProcess::run({ "ip", "link", "set", hostLink_, "up" });
}

// Every process in our namespace is an sshd we started (or its session child, which leaves
// sshd's process group).
void SshfsShare::killNamespaceProcesses() const
{
    struct stat ours {};
    if (::stat(("/run/netns/" + namespace_).c_str(), &ours) != 0)
        return;
    DIR* processes = ::opendir("/proc");
    if (!processes)
        return;
    while (const dirent* entry = ::readdir(processes)) {
        const std::string name = entry->d_name;
        if (name.empty() || !std::ranges::all_of(name, ::isdigit))
            continue;
        struct stat theirs {};
        if (::stat(("/proc/" + name + "/ns/net").c_str(), &theirs) == 0 && theirs.st_ino == ours.st_ino && theirs.st_dev == ours.st_dev)
            ::kill(static_cast<pid_t>(std::stoi(name)), SIGKILL);
    }
    ::closedir(processes);
}

void SshfsShare::tearDown()
{
    if (!isSetUp_)
        return;
    isSetUp_ = false;
    ChildProcess::killGroup(guardian_);
    guardian_ = -1;
    // Detach first, then end sshfs: that fails every request still blocked on the share.
    ::umount2(mountPoint_.c_str(), MNT_DETACH);
    ChildProcess::killGroup(sshfs_);
    sshfs_ = -1;
    if (!namespace_.empty()) {
        killNamespaceProcesses();
        ChildProcess::killGroup(server_);
        server_ = -1;
        ChildProcess::run({ "ip", "link", "del", hostLink_ }, "/dev/null", 5s);
        ChildProcess::run({ "ip", "netns", "del", namespace_ }, "/dev/null", 5s);
    }
    std::error_code ignored;
    std::filesystem::remove_all(servedFolder_, ignored);
    if (::rmdir(mountPoint_.c_str()) == 0 || errno == ENOENT)
        std::filesystem::remove_all(folder_, ignored);
}

} // namespace lh::test
