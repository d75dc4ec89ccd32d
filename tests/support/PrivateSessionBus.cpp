#include "PrivateSessionBus.h"

#include "ChildProcess.h"
#include "EventLoop.h"

#include <QFile>
#include <QStandardPaths>

#include <cstdlib>
#include <utility>

namespace lh::test {

bool hasProgram(const char* program)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

std::optional<PrivateSessionBus> PrivateSessionBus::start(std::string& whyNot)
{
    if (!hasProgram("dbus-daemon")) {
        whyNot = "dbus-daemon is not installed (scripts/setup-debian installs it)";
        return std::nullopt;
    }
    PrivateSessionBus bus;
    bus.folder_ = std::make_unique<QTemporaryDir>();
    if (!bus.folder_->isValid()) {
        whyNot = "no temporary folder";
        return std::nullopt;
    }
    const std::string log = bus.filePath("dbus-daemon.log");
    const QString socket = bus.folder_->filePath(QStringLiteral("bus"));
    // The parent-death signal ends the daemon with the test program even when that is killed.
    bus.pid_ = ChildProcess::start({ "setpriv", "--pdeathsig", "KILL", "dbus-daemon", "--session", "--nofork", "--print-address=1",
                                       "--address=unix:path=" + socket.toStdString() },
        log, true);
    // The daemon prints its address once it listens.
    QFile printed(QString::fromStdString(log));
    const bool isUp = bus.pid_ > 0 && runEventsUntil([&] {
        if (printed.open(QIODevice::ReadOnly)) {
            const QByteArray line = printed.readLine().trimmed();
            printed.close();
            if (line.startsWith("unix:")) {
                bus.address_ = QString::fromUtf8(line);
                return true;
            }
        }
        return false;
    });
    if (!isUp) {
        whyNot = "dbus-daemon did not come up; see " + log;
        return std::nullopt;
    }
    if (const char* previous = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        bus.previousAddress_ = QByteArray(previous);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address_.toUtf8().constData(), 1);
    return bus;
}

PrivateSessionBus::PrivateSessionBus(PrivateSessionBus&& other) noexcept
    : folder_(std::move(other.folder_))
    , address_(std::move(other.address_))
    , pid_(std::exchange(other.pid_, -1))
    , previousAddress_(std::move(other.previousAddress_))
{
    other.previousAddress_.reset();
}

PrivateSessionBus::~PrivateSessionBus()
{
    if (pid_ <= 0)
        return;
    ChildProcess::killGroup(pid_);
    if (previousAddress_)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", previousAddress_->constData(), 1);
    else
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

std::string PrivateSessionBus::filePath(const char* name) const
{
    return folder_->filePath(QString::fromLatin1(name)).toStdString();
}

} // namespace lh::test
