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
#include <vector>

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

    // The object's interfaces as data (MprisServiceCalls.cpp): introspection, method dispatch and
    // the writable properties all come from this one description.
    struct Argument {
        enum class Direction { in, out };
        Argument(const char* name, const char* type, Direction direction = Direction::in)
            : name(name)
            , type(type)
            , isOut(direction == Direction::out)
        {
        }
        const char* name;
        const char* type;
        bool isOut;
    };
    struct Method {
        const char* name;
        std::vector<Argument> arguments;
        QDBusMessage (MprisService::*run)(const QDBusMessage& message); // called with the arguments checked
    };
    struct Signal {
        const char* name;
        std::vector<Argument> arguments;
    };
    struct Property {
        Property(const char* name, const char* type, int writableAs = 0)
            : name(name)
            , type(type)
            , writableAs(writableAs)
        {
        }
        const char* name;
        const char* type;
        int writableAs; // the QMetaType a client sets it with; 0 for read-only
    };
    struct Interface {
        const char* name;
        bool isStandard; // one every object has, described only in the full introspection
        std::vector<Method> methods;
        std::vector<Signal> emitted;
        std::vector<Property> properties;
    };

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
    static const std::vector<Interface>& interfaces();
    static const Interface* interfaceNamed(const QString& name);
    static const Method* methodFor(const QDBusMessage& message);
    static QString interfaceDescriptions();
    static QString introspection();
    QDBusMessage call(const QDBusMessage& message);
    QDBusMessage introspectCall(const QDBusMessage& message);
    QDBusMessage raise(const QDBusMessage& message);
    QDBusMessage quit(const QDBusMessage& message);
    QDBusMessage play(const QDBusMessage& message);
    QDBusMessage pause(const QDBusMessage& message);
    QDBusMessage playPause(const QDBusMessage& message);
    QDBusMessage stop(const QDBusMessage& message);
    QDBusMessage next(const QDBusMessage& message);
    QDBusMessage previous(const QDBusMessage& message);
    QDBusMessage perform(const QDBusMessage& message, const Command& command);
    QDBusMessage seek(const QDBusMessage& message);
    QDBusMessage setPositionCall(const QDBusMessage& message);
    QDBusMessage openUriCall(const QDBusMessage& message);
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
