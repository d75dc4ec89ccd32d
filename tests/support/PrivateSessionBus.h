#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace lh::test {

// A D-Bus session bus of the test's own: a dbus-daemon listening in a temporary folder, with
// DBUS_SESSION_BUS_ADDRESS pointed at it (so programs the test starts find it), ended by pid.
class PrivateSessionBus {
public:
    // Nothing, with the reason in `whyNot`, when dbus-daemon is missing or does not come up.
    static std::optional<PrivateSessionBus> start(std::string& whyNot);

    PrivateSessionBus(PrivateSessionBus&& other) noexcept;
    PrivateSessionBus& operator=(PrivateSessionBus&&) = delete;
    ~PrivateSessionBus();

    const QString& address() const { return address_; }
    // A file in the bus's temporary folder, for the logs of programs the test starts.
    std::string filePath(const char* name) const;

private:
    PrivateSessionBus() = default;

    std::unique_ptr<QTemporaryDir> folder_;
    QString address_;
    pid_t pid_ = -1;
    std::optional<QByteArray> previousAddress_;
};

// Whether `program` is on PATH.
bool hasProgram(const char* program);

} // namespace lh::test
