#include "MprisService.h"

#include "MainThread.h"

#include <QDBusVirtualObject>

#include <cmath>

namespace lh {

namespace {

// Ticks move the position by what the engine played since the last one, which may differ from
// the time passed by up to a device buffer; a difference beyond this is a jump.
constexpr double jumpTolerance = 0.5;

} // namespace

// The object clients talk to; every message goes on to the service.
class MprisService::BusObject final : public QDBusVirtualObject {
public:
    explicit BusObject(MprisService& service)
        : service_(service)
    {
    }

    QString introspect(const QString&) const override { return interfaceDescriptions(); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override
    {
        return service_.handle(message);
    }

private:
    MprisService& service_;
};

MprisService::MprisService(QDBusConnection bus, const PlayerState& state, CommandDispatching& commands,
    WindowActions actions, MonotonicNow now)
    : bus_(std::move(bus))
    , commands_(commands)
    , actions_(std::move(actions))
    , now_(std::move(now))
    , object_(std::make_unique<BusObject>(*this))
    , self_(std::make_shared<MprisService*>(this))
{
    observe(state);
    // Subscribing delivered the current values: that is what clients first see.
    reported_ = MprisProperties::player(snapshot_);
    currentTrackId_ = currentTrackId();
    anchorPosition(now_());
    isPositionDirty_ = false;
    isStateDirty_ = false;
}

MprisService::~MprisService()
{
    if (isPublished_) {
        bus_.unregisterService(QString::fromLatin1(busName));
        bus_.unregisterObject(QString::fromLatin1(objectPath));
    }
}

std::optional<QString> MprisService::publish()
{
    if (!bus_.isConnected())
        return QStringLiteral("no session bus (%1)").arg(bus_.lastError().message());
    if (!bus_.registerVirtualObject(QString::fromLatin1(objectPath), object_.get()))
        return QStringLiteral("%1 is already served on this connection").arg(QString::fromLatin1(objectPath));
    if (!bus_.registerService(QString::fromLatin1(busName))) {
        bus_.unregisterObject(QString::fromLatin1(objectPath));
        return QStringLiteral("the name %1 is taken (%2)").arg(QString::fromLatin1(busName), bus_.lastError().message());
    }
    isPublished_ = true;
    return std::nullopt;
}

void MprisService::observe(const PlayerState& state)
{
    mirror(state.tracksPublisher(), &MprisSnapshot::tracks);
    mirror(state.currentIndexPublisher(), &MprisSnapshot::currentIndex);
    mirror(state.isLoadingPublisher(), &MprisSnapshot::isLoading);
    mirror(state.durationPublisher(), &MprisSnapshot::duration);
    mirror(state.volumePublisher(), &MprisSnapshot::volume);
    mirror(state.isShuffledPublisher(), &MprisSnapshot::isShuffled);
    mirror(state.isRepeatingPublisher(), &MprisSnapshot::isRepeating);
    mirror(state.playingTagsPublisher(), &MprisSnapshot::tags);
    // Starting, pausing and stopping move the position as a matter of course: measure jumps
    // from there.
    subscriptions_.push_back(state.isPlayingPublisher().sink([this](bool isPlaying) {
        snapshot_.isPlaying = isPlaying;
        anchorPosition(now_());
        isStateDirty_ = true;
        changed();
    }));
    // Twenty times a second while playing: only note the time and look once the burst is over.
    subscriptions_.push_back(state.currentTimePublisher().sink([this](double time) {
        snapshot_.currentTime = time;
        positionAt_ = now_();
        isPositionDirty_ = true;
        changed();
    }));
}

template <class T>
void MprisService::mirror(const Publisher<T>& publisher, T MprisSnapshot::*field)
{
    subscriptions_.push_back(publisher.sink([this, field](const T& value) {
        snapshot_.*field = value;
        isStateDirty_ = true;
        changed();
    }));
}

// One controller operation assigns several properties in a row; clients hear of the outcome
// once, after it.
void MprisService::changed()
{
    if (isFlushPending_)
        return;
    isFlushPending_ = true;
    MainThread::post([weak = std::weak_ptr<MprisService*>(self_)] {
        if (auto alive = weak.lock())
            (*alive)->flush();
    });
}

// A tick only moves the position, so it costs a comparison and nothing more.
void MprisService::flush()
{
    isFlushPending_ = false;
    if (isStateDirty_)
        currentTrackId_ = currentTrackId();
    if (isPositionDirty_) {
        isPositionDirty_ = false;
        reportJump();
    }
    if (isStateDirty_) {
        isStateDirty_ = false;
        reportChanges();
    }
}

void MprisService::reportJump()
{
    if (currentTrackId_ == anchor_.track && snapshot_.duration > 0) {
        const double elapsed = anchor_.isPlaying ? std::chrono::duration<double>(positionAt_ - anchor_.at).count() : 0;
        if (std::abs(snapshot_.currentTime - (anchor_.time + elapsed)) > jumpTolerance)
            emitSignal("org.mpris.MediaPlayer2.Player", "Seeked", { qint64(MprisProperties::microseconds(snapshot_.currentTime)) });
    }
    anchorPosition(positionAt_);
}

void MprisService::reportChanges()
{
    const QVariantMap now = MprisProperties::player(snapshot_);
    QVariantMap changes;
    for (auto property = now.begin(); property != now.end(); ++property) {
        if (reported_.value(property.key()) != property.value())
            changes.insert(property.key(), property.value());
    }
    reported_ = now;
    if (!changes.isEmpty())
        emitSignal("org.freedesktop.DBus.Properties", "PropertiesChanged", { QStringLiteral("org.mpris.MediaPlayer2.Player"), changes, QStringList() });
}

void MprisService::anchorPosition(MonotonicClock::time_point at)
{
    anchor_ = { snapshot_.currentTime, at, snapshot_.isPlaying, currentTrackId_ };
}

QDBusObjectPath MprisService::currentTrackId() const
{
    const Track* track = snapshot_.currentTrack();
    return track ? MprisProperties::trackId(*track) : MprisProperties::noTrackId();
}

void MprisService::emitSignal(const char* interface, const char* name, const QVariantList& arguments)
{
    if (!isPublished_)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(objectPath), QString::fromLatin1(interface), QString::fromLatin1(name));
    signal.setArguments(arguments);
    bus_.send(signal);
}

bool MprisService::handle(const QDBusMessage& message)
{
    MainThread::check();
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QDBusMessage reply = call(message);
    if (!message.isReplyRequired())
        return true;
    bus_.send(reply);
    return true;
}

} // namespace lh
