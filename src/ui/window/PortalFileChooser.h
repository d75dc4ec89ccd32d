#pragma once

#include "FileDialogs.h"
#include "FileURL.h"

#include <QDBusConnection>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace lh {

// The desktop's file chooser, asked through the XDG desktop portal
// (org.freedesktop.portal.FileChooser) on the session bus. The chooser runs in a process of the
// desktop's, so however long it spends on a share, our window only waits for a D-Bus signal.
//
// Nothing here blocks: the method call and its Response signal are both awaited by the event
// loop. Main thread only.
class PortalFileChooser {
public:
    static constexpr const char* service = "org.freedesktop.portal.Desktop";
    static constexpr const char* objectPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* interface = "org.freedesktop.portal.FileChooser";
    static constexpr const char* requestInterface = "org.freedesktop.portal.Request";
    // A portal that is there answers the call at once; the chooser's answer comes later.
    static constexpr int callTimeoutMilliseconds = 3000;

    struct Choice {
        std::vector<FileURL> files; // none when the user cancelled
        int filter = 0; // the index of the filter chosen, where the chooser says
    };
    // Nothing when no portal answered (none on the bus, no file chooser behind it, an error):
    // the caller asks another way. After such a failure every later call fails at once.
    using Answer = std::function<void(std::optional<Choice>)>;

    // `connect` gives the session bus; it is called at the first ask, so a player that never
    // opens a dialog never waits for the bus.
    explicit PortalFileChooser(std::function<QDBusConnection()> connect = QDBusConnection::sessionBus);
    ~PortalFileChooser(); // closes a chooser still open
    PortalFileChooser(const PortalFileChooser&) = delete;
    PortalFileChooser& operator=(const PortalFileChooser&) = delete;

    // `answer` is called once, later, on the main thread, unless this object is gone first.
    void ask(const FileDialogs::Request& request, const QString& title, const QString& parentWindow, Answer answer);

    // The portal's window identifier of a window of ours ("x11:…"), or "" where there is none.
    static QString parentWindowOf(const class QWidget& window);

private:
    class Request;

    std::function<QDBusConnection()> connect_;
    std::optional<QDBusConnection> bus_;
    std::unique_ptr<Request> request_;
    bool isAbsent_ = false;
    unsigned serial_ = 0;
};

} // namespace lh
