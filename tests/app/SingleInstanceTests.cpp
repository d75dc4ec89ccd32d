#include "ActivationServer.h"
#include "SingleInstance.h"

#include "EventLoop.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

int listenAt(const std::string& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0)
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

} // namespace
} // namespace lh
