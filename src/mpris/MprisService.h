#pragma once

#include "Command.h"
#include "MonotonicClock.h"
#include "MprisProperties.h"
#include "PlayerState.h"
#include "Subscription.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace lh {

// The player on the session bus as a media player, for the media keys, the desktop's media
// controls and tools like playerctl. It only mirrors the player state and turns requests into
// commands; the player runs the same with or without it. Main thread only.
class MprisService {
public:
    // What the window does for the desktop; the service knows nothing of windows.
    struct WindowActions {
        std::function<void()> raise;
        std::function<void()> quit;
    };

    static constexpr const char* busName = "org.mpris.MediaPlayer2.larkhaven";
    static constexpr const char* objectPath = "/org/mpris/MediaPlayer2";

    MprisService(QDBusConnection bus, const PlayerState& state, CommandDispatching& commands,
        WindowActions actions, MonotonicNow now = MonotonicClock::now);
    ~MprisService();

    MprisService(const MprisService&) = delete;
    MprisService& operator=(const MprisService&) = delete;

    // Takes the object path and the bus name; the reason when either is not to be had.
    std::optional<QString> publish();

private:
    class BusObject;
    struct PositionAnchor {
        double time = 0;
        MonotonicClock::time_point at;
        bool isPlaying = false;
        QDBusObjectPath track;
    };

    void observe(const PlayerState& state);
    template <class T>
    void mirror(const Publisher<T>& publisher, T MprisSnapshot::*field);
    void changed();
    void flush();
    void reportJump();
    void reportChanges();
    void anchorPosition(MonotonicClock::time_point at);
    QDBusObjectPath currentTrackId() const;

    bool handle(const QDBusMessage& message);
    static QString interfaceDescriptions();
    QDBusMessage call(const QDBusMessage& message);
    QDBusMessage callPlayer(const QDBusMessage& message);
    QDBusMessage getProperty(const QDBusMessage& message);
    QDBusMessage getAllProperties(const QDBusMessage& message);
    QDBusMessage setProperty(const QDBusMessage& message);
    std::optional<QDBusMessage> missingProperty(const QDBusMessage& message) const;
    static std::optional<int> writableType(const QString& interface, const QString& name);
    std::optional<std::pair<QDBusError::ErrorType, QString>> setPlayerProperty(const QString& name, const QVariant& value);
    std::optional<QVariantMap> propertiesOf(const QString& interface) const;
    void seekBy(qint64 offset);
    void setPosition(const QDBusObjectPath& track, qint64 position);
    void openUri(const QString& uri);
    void emitSignal(const char* interface, const char* name, const QVariantList& arguments);

    QDBusConnection bus_;
    CommandDispatching& commands_;
    WindowActions actions_;
    MonotonicNow now_;
    std::unique_ptr<BusObject> object_;
    bool isPublished_ = false;

    MprisSnapshot snapshot_;
    QVariantMap reported_; // the player's properties as clients last heard of them
    QDBusObjectPath currentTrackId_; // as of the last flush
    PositionAnchor anchor_;
    MonotonicClock::time_point positionAt_;
    bool isFlushPending_ = false;
    bool isPositionDirty_ = false;
    bool isStateDirty_ = false;
    std::shared_ptr<MprisService*> self_;
    Subscriptions subscriptions_;
};

} // namespace lh
