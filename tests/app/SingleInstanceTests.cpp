#include "ActivationServer.h"
#include "SingleInstance.h"

#include "EventLoop.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lh {
namespace {

using namespace std::chrono_literals;

struct Instances : ::testing::Test {
    QTemporaryDir dir;
    SingleInstance::Paths paths { dir.path().toStdString() + "/.lock", dir.path().toStdString() + "/larkhaven.socket" };
};

TEST_F(Instances, FirstClaimsAndListensLaterOnesForwardTheirFiles)
{
    const SingleInstance::Claim first = SingleInstance::claimOrForward(paths, {}, 0ms);
    ASSERT_EQ(first.role, SingleInstance::Role::primary);
    ASSERT_GE(first.listeningSocket, 0);
    struct stat lock {};
    ASSERT_EQ(::stat(paths.lockFile.c_str(), &lock), 0);
    EXPECT_EQ(lock.st_mode & 0777, 0644u);

    std::vector<ActivationMessage> received;
    ActivationServer server(first.listeningSocket, [&](ActivationMessage m) { received.push_back(std::move(m)); });
    ASSERT_TRUE(server.isListening());

    // Launches run beside the event loop, as other processes would.
    constexpr int launches = 8;
    std::atomic<int> forwarded = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < launches; ++i) {
        threads.emplace_back([&, i] {
            const ActivationMessage message { { FileURL("/music/" + std::to_string(i) + ".flac") }, "t" };
            if (SingleInstance::claimOrForward(paths, message, 5s).role == SingleInstance::Role::forwarded)
                ++forwarded;
        });
    }
    EXPECT_TRUE(test::runEventsUntil([&] { return received.size() == launches; }, 10s));
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(forwarded, launches);
    for (const ActivationMessage& message : received) {
        ASSERT_EQ(message.files.size(), 1u);
        EXPECT_EQ(message.activationToken, "t");
    }
}

sockaddr_un addressOf(const std::string& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    return address;
}

int listenAt(const std::string& path)
{
    const sockaddr_un address = addressOf(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0)
        return -1;
    return fd;
}

TEST_F(Instances, ALaterLaunchWaitsForAPlayerThatIsStillStarting)
{
    const SingleInstance::Claim first = SingleInstance::claimOrForward(paths, {}, 0ms);
    ASSERT_EQ(first.role, SingleInstance::Role::primary);
    ::close(first.listeningSocket);
    ::unlink(paths.socket.c_str()); // locked, but not listening yet

    std::atomic<bool> forwarded = false;
    std::thread later([&] {
        forwarded = SingleInstance::claimOrForward(paths, { { FileURL("/a.mp3") }, "" }, 5s).role
            == SingleInstance::Role::forwarded;
    });
    std::this_thread::sleep_for(300ms);
    std::vector<ActivationMessage> received;
    ActivationServer server(listenAt(paths.socket), [&](ActivationMessage m) { received.push_back(std::move(m)); });
    EXPECT_TRUE(test::runEventsUntil([&] { return !received.empty(); }, 5s));
    later.join();
    EXPECT_TRUE(forwarded);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].files, std::vector<FileURL> { FileURL("/a.mp3") });
}

int connectTo(const std::string& path)
{
    const sockaddr_un address = addressOf(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const timeval patience { 5, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends `bytes` on a connection of its own and reads what comes back until the player closes
// it; nothing when the player cannot be reached.
std::optional<std::string> sendAndRead(const std::string& path, const std::string& bytes)
{
    const int fd = connectTo(path);
    if (fd < 0)
        return std::nullopt;
    std::string answer;
    if (::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size())) {
        char buffer[16];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, std::size_t(n));
    }
    ::close(fd);
    return answer;
}

TEST_F(Instances, APartSentAgainIsConfirmedButOpenedOnce)
{
    const SingleInstance::Claim first = SingleInstance::claimOrForward(paths, {}, 0ms);
    std::vector<ActivationMessage> received;
    ActivationServer server(first.listeningSocket, [&](ActivationMessage m) { received.push_back(std::move(m)); });

    const ActivationMessage part { { FileURL("/a.flac") }, "", 77, 0 };
    std::vector<std::string> answers;
    std::thread launch([&] {
        for (const ActivationMessage& sent : { part, part, ActivationMessage { { FileURL("/b.flac") }, "", 77, 1 } })
            answers.push_back(sendAndRead(paths.socket, sent.encoded()).value_or("unreachable"));
    });
    test::runEventsUntil([&] { return received.size() == 2; });
    test::runEventsFor(200ms);
    launch.join();
    EXPECT_EQ(answers, (std::vector<std::string> { "k", "k", "k" }));
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], part);
    EXPECT_EQ(received[1].part, 1u);
}

// A launch that only adds hands its files over as parts that add, from the first on: the
// running player (of this version or an earlier one) has nothing to open, so nothing plays.
TEST_F(Instances, AnAddingLaunchSendsNoOpeningPart)
{
    const SingleInstance::Claim first = SingleInstance::claimOrForward(paths, {}, 0ms);
    std::vector<ActivationMessage> received;
    ActivationServer server(first.listeningSocket, [&](ActivationMessage m) { received.push_back(std::move(m)); });
    ActivationMessage message { { FileURL("/a.flac"), FileURL("/b.m3u8") }, "tok" };
    message.part = ActivationMessage::firstAddingPart;
    std::thread launch([&] { EXPECT_EQ(SingleInstance::claimOrForward(paths, message, 5s).role, SingleInstance::Role::forwarded); });
    test::runEventsUntil([&] { return received.size() == 1; });
    launch.join();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].part, 1u);
    EXPECT_EQ(received[0].files, message.files);
}

// A player busy past the launch's patience reads the message later: the launch must neither
// send it twice nor call its files lost; a player that never listens does lose them.
TEST_F(Instances, ALaunchTellsFilesThatMayArriveFromFilesThatCannot)
{
    const SingleInstance::Claim first = SingleInstance::claimOrForward(paths, {}, 0ms);
    std::vector<ActivationMessage> received;
    ActivationServer server(first.listeningSocket, [&](ActivationMessage m) { received.push_back(std::move(m)); });

    SingleInstance::Claim later;
    std::thread launch([&] { later = SingleInstance::claimOrForward(paths, { { FileURL("/a.flac") }, "" }, 1500ms); });
    std::this_thread::sleep_for(2500ms); // the main thread is busy; the message waits in the socket
    launch.join();
    test::runEventsFor(300ms);
    EXPECT_EQ(received.size(), 1u);
    EXPECT_EQ(later.role, SingleInstance::Role::forwarded);
    EXPECT_EQ(later.filesNotConfirmed, 1u);
    EXPECT_EQ(later.filesNotHandedOver, 0u);

    ::unlink(paths.socket.c_str()); // locked, and no longer listening
    const SingleInstance::Claim unheard
        = SingleInstance::claimOrForward(paths, { { FileURL("/a.flac"), FileURL("/b.flac") }, "" }, 200ms);
    EXPECT_EQ(unheard.role, SingleInstance::Role::forwarded);
    EXPECT_EQ(unheard.filesNotConfirmed, 0u);
    EXPECT_EQ(unheard.filesNotHandedOver, 2u);
}

TEST_F(Instances, ALaunchWithMoreFilesThanOneMessageHoldsHandsThemAllOverInOrder)
{
    const SingleInstance::Claim first = SingleInstance::claimOrForward(paths, {}, 0ms);
    std::vector<ActivationMessage> received;
    ActivationServer server(first.listeningSocket, [&](ActivationMessage m) { received.push_back(std::move(m)); });

    std::vector<FileURL> files;
    for (std::size_t i = 0; i <= ActivationMessage::limits.files; ++i)
        files.emplace_back("/music/" + std::to_string(i) + ".flac");
    SingleInstance::Claim later;
    std::thread launch([&] { later = SingleInstance::claimOrForward(paths, { files, "a b" }, 5s); });
    EXPECT_TRUE(test::runEventsUntil([&] { return received.size() == 2; }, 10s));
    launch.join();
    EXPECT_EQ(later.role, SingleInstance::Role::forwarded);
    EXPECT_EQ(later.filesNotHandedOver + later.filesNotConfirmed, 0u);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].handOver, received[1].handOver);
    EXPECT_EQ(received[1].part, 1u);
    EXPECT_EQ(received[0].files.size() + received[1].files.size(), files.size());
    EXPECT_EQ(received[1].files.back(), files.back());
}

// What a launch's environment names: the lock and the socket in one folder, so two cache
// folders that share a runtime folder are two players, a launch without a runtime folder finds
// its player, and a socket that still answers is never taken from its player.
TEST_F(Instances, TheLockAndTheSocketNameOnePlayerInEveryEnvironment)
{
    std::vector<std::pair<const char*, QByteArray>> saved;
    for (const char* name : { "XDG_CACHE_HOME", "XDG_RUNTIME_DIR" })
        saved.emplace_back(name, qgetenv(name));
    const std::string root = dir.path().toStdString();
    const auto pathsIn = [&](const std::string& cache, const char* runtime) {
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(root + "/" + cache));
        runtime ? qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(root + "/" + runtime)) : qunsetenv("XDG_RUNTIME_DIR");
        return SingleInstance::defaultPaths();
    };
    const SingleInstance::Paths first = pathsIn("a", "run");
    const SingleInstance::Paths second = pathsIn("b/" + std::string(100, 'b'), "run"); // deeper than an address holds
    const SingleInstance::Paths firstWithoutRuntime = pathsIn("a", nullptr);
    for (const auto& [name, value] : saved)
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    EXPECT_EQ(firstWithoutRuntime.socket, first.socket);
    EXPECT_NE(second.socket, first.socket);
    EXPECT_GT(second.socket.size(), sizeof(sockaddr_un::sun_path));
    struct stat folder {};
    ASSERT_EQ(::stat((root + "/a/Larkhaven").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);

    std::vector<ActivationMessage> toFirst, toSecond;
    const SingleInstance::Claim firstClaim = SingleInstance::claimOrForward(first, {}, 0ms);
    const SingleInstance::Claim secondClaim = SingleInstance::claimOrForward(second, {}, 0ms);
    ASSERT_EQ(secondClaim.role, SingleInstance::Role::primary);
    ActivationServer firstServer(firstClaim.listeningSocket, [&](ActivationMessage m) { toFirst.push_back(std::move(m)); });
    ActivationServer secondServer(secondClaim.listeningSocket, [&](ActivationMessage m) { toSecond.push_back(std::move(m)); });
    ASSERT_TRUE(firstServer.isListening() && secondServer.isListening());

    std::thread launches([&] {
        SingleInstance::claimOrForward(first, { { FileURL("/1.flac") }, "" }, 5s);
        SingleInstance::claimOrForward(firstWithoutRuntime, { { FileURL("/2.flac") }, "" }, 5s);
        SingleInstance::claimOrForward(second, { { FileURL("/3.flac") }, "" }, 5s);
    });
    EXPECT_TRUE(test::runEventsUntil([&] { return toFirst.size() + toSecond.size() == 3; }, 10s));
    launches.join();
    ASSERT_EQ(toFirst.size(), 2u);
    EXPECT_EQ(toFirst[1].files, std::vector { FileURL("/2.flac") });
    ASSERT_EQ(toSecond.size(), 1u);
    EXPECT_EQ(toSecond[0].files, std::vector { FileURL("/3.flac") });

    // A player whose lock was taken from it (its cache folder removed and made again) still
    // listens: the new lock holder leaves its socket alone.
    ASSERT_EQ(::unlink(first.lockFile.c_str()), 0);
    const SingleInstance::Claim usurper = SingleInstance::claimOrForward(first, {}, 0ms);
    EXPECT_EQ(usurper.role, SingleInstance::Role::primary);
    EXPECT_EQ(usurper.listeningSocket, -1);
    struct stat socket {};
    EXPECT_EQ(::stat(first.socket.c_str(), &socket), 0);
}

// A launch that reached no player fails, with files to hand over or without.
TEST_F(Instances, ALaunchThatReachedNoPlayerSaysSo)
{
    const SingleInstance::Claim first = SingleInstance::claimOrForward(paths, {}, 0ms);
    ::close(first.listeningSocket); // locked, and never listening
    for (const std::vector<FileURL>& files : { std::vector<FileURL> {}, std::vector { FileURL("/a.flac") } }) {
        const SingleInstance::Claim unheard = SingleInstance::claimOrForward(paths, { files, "" }, 200ms);
        EXPECT_EQ(unheard.role, SingleInstance::Role::forwarded);
        EXPECT_TRUE(unheard.isUnanswered);
        EXPECT_EQ(unheard.filesNotHandedOver, files.size());
    }
}

// The socket's file permissions already keep other users out; the credential check is the
// second wall, so the test opens the first.
TEST_F(Instances, RefusesAnotherUsersConnection)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    const SingleInstance::Claim first = SingleInstance::claimOrForward(paths, {}, 0ms);
    std::vector<ActivationMessage> received;
    ActivationServer server(first.listeningSocket, [&](ActivationMessage m) { received.push_back(std::move(m)); });
    ASSERT_EQ(::chmod(dir.path().toStdString().c_str(), 0711), 0);
    ASSERT_EQ(::chmod(paths.socket.c_str(), 0666), 0);

    const std::string bytes = ActivationMessage { { FileURL("/a.flac") }, "", 1, 0 }.encoded();
    const pid_t child = ::fork();
    if (child == 0) {
        constexpr uid_t nobody = 65534;
        if (::setresgid(nobody, nobody, nobody) != 0 || ::setresuid(nobody, nobody, nobody) != 0)
            ::_exit(2);
        const std::optional<std::string> answer = sendAndRead(paths.socket, bytes);
        ::_exit(!answer ? 3 : answer->empty() ? 0 : 1); // 3: the file permissions kept it out
    }
    ASSERT_GT(child, 0);
    int status = -1;
    EXPECT_TRUE(test::runEventsUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 10s));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    test::runEventsFor(200ms);
    EXPECT_TRUE(received.empty());
}

} // namespace
} // namespace lh
