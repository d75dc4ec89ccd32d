#include "MprisService.h"

#include "MainThread.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>

#include <cmath>

namespace lh {

namespace {

const QString rootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString introspectableInterface = QStringLiteral("org.freedesktop.DBus.Introspectable");

// Ticks move the position by what the engine played since the last one, which may differ from
// the time passed by up to a device buffer; a difference beyond this is a jump.
constexpr double jumpTolerance = 0.5;

const char* const interfacesXml = R"(  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg name="Offset" type="x" direction="in"/></method>
    <method name="SetPosition">
      <arg name="TrackId" type="o" direction="in"/>
      <arg name="Position" type="x" direction="in"/>
    </method>
    <method name="OpenUri"><arg name="Uri" type="s" direction="in"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="LoopStatus" type="s" access="readwrite"/>
    <property name="Rate" type="d" access="readwrite"/>
    <property name="Shuffle" type="b" access="readwrite"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
)";

QString introspection()
{
    return QStringLiteral(R"(<!DOCTYPE node PUBLIC "-//freedesktop//DTD D-BUS Object Introspection 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd">
<node>
  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg name="xml_data" type="s" direction="out"/></method>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="property_name" type="s" direction="in"/>
      <arg name="value" type="v" direction="out"/>
    </method>
    <method name="GetAll">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="properties" type="a{sv}" direction="out"/>
    </method>
    <method name="Set">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="property_name" type="s" direction="in"/>
      <arg name="value" type="v" direction="in"/>
    </method>
    <signal name="PropertiesChanged">
      <arg name="interface_name" type="s"/>
      <arg name="changed_properties" type="a{sv}"/>
      <arg name="invalidated_properties" type="as"/>
    </signal>
  </interface>
)") + QString::fromLatin1(interfacesXml)
        + QStringLiteral("</node>\n");
}

QDBusMessage invalidArguments(const QDBusMessage& message)
{
    return message.createErrorReply(QDBusError::InvalidArgs,
        QStringLiteral("%1 takes (%2)").arg(message.member(), message.signature()));
}

bool hasSignature(const QDBusMessage& message, const char* signature)
{
    return message.signature() == QLatin1String(signature);
}

} // namespace

// The object clients talk to; every message goes on to the service.
class MprisService::BusObject final : public QDBusVirtualObject {
public:
    explicit BusObject(MprisService& service)
        : service_(service)
    {
    }

    QString introspect(const QString&) const override { return QString::fromLatin1(interfacesXml); }

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
    anchorPosition(now_());
    isPositionDirty_ = false;
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
    // Starting, pausing and stopping move the position as a matter of course: measure jumps
    // from there.
    subscriptions_.push_back(state.isPlayingPublisher().sink([this](bool isPlaying) {
        snapshot_.isPlaying = isPlaying;
        anchorPosition(now_());
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

void MprisService::flush()
{
    isFlushPending_ = false;
    if (isPositionDirty_) {
        isPositionDirty_ = false;
        reportJump();
    }
    reportChanges();
}

void MprisService::reportJump()
{
    const QDBusObjectPath track = currentTrackId();
    if (track == anchor_.track && snapshot_.duration > 0) {
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
        emitSignal("org.freedesktop.DBus.Properties", "PropertiesChanged", { playerInterface, changes, QStringList() });
}

void MprisService::anchorPosition(MonotonicClock::time_point at)
{
    anchor_ = { snapshot_.currentTime, at, snapshot_.isPlaying, currentTrackId() };
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

QDBusMessage MprisService::call(const QDBusMessage& message)
{
    const QString interface = message.interface();
    const QString member = message.member();
    if (interface == propertiesInterface) {
        if (member == QLatin1String("Get"))
            return getProperty(message);
        if (member == QLatin1String("GetAll"))
            return getAllProperties(message);
        if (member == QLatin1String("Set"))
            return setProperty(message);
    } else if (interface == introspectableInterface && member == QLatin1String("Introspect")) {
        return message.createReply(introspection());
    } else if (interface == rootInterface || interface.isEmpty()) {
        if (member == QLatin1String("Raise") && actions_.raise) {
            actions_.raise();
            return message.createReply();
        }
        if (member == QLatin1String("Quit") && actions_.quit) {
            actions_.quit();
            return message.createReply();
        }
        if (interface.isEmpty())
            return callPlayer(message);
    } else if (interface == playerInterface) {
        return callPlayer(message);
    }
    return message.createErrorReply(QDBusError::UnknownMethod,
        QStringLiteral("no method %1 in %2").arg(member, interface));
}

QDBusMessage MprisService::callPlayer(const QDBusMessage& message)
{
    const QString member = message.member();
    const QVariantList arguments = message.arguments();
    if (member == QLatin1String("Play")) {
        // A track waiting for its copy is already on its way to playing.
        if (!snapshot_.isPlaying && !snapshot_.isLoading)
            commands_.perform(TogglePlayPauseCommand());
    } else if (member == QLatin1String("Pause")) {
        if (snapshot_.isPlaying)
            commands_.perform(TogglePlayPauseCommand());
    } else if (member == QLatin1String("PlayPause")) {
        commands_.perform(TogglePlayPauseCommand());
    } else if (member == QLatin1String("Stop")) {
        commands_.perform(StopCommand());
    } else if (member == QLatin1String("Next")) {
        commands_.perform(NextCommand());
    } else if (member == QLatin1String("Previous")) {
        commands_.perform(PreviousCommand());
    } else if (member == QLatin1String("Seek")) {
        if (!hasSignature(message, "x"))
            return invalidArguments(message);
        seekBy(arguments[0].toLongLong());
    } else if (member == QLatin1String("SetPosition")) {
        if (!hasSignature(message, "ox"))
            return invalidArguments(message);
        setPosition(qvariant_cast<QDBusObjectPath>(arguments[0]), arguments[1].toLongLong());
    } else if (member == QLatin1String("OpenUri")) {
        if (!hasSignature(message, "s"))
            return invalidArguments(message);
        openUri(arguments[0].toString());
    } else {
        return message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("no method %1").arg(member));
    }
    return message.createReply();
}

// Relative seeks past the end move on to the next track, and before the start go to it.
void MprisService::seekBy(qint64 offset)
{
    if (snapshot_.duration <= 0)
        return;
    const double target = std::max(0.0, snapshot_.currentTime + double(offset) / 1e6);
    if (target > snapshot_.duration)
        commands_.perform(NextCommand());
    else
        commands_.perform(SeekCommand(target));
}

// A client that names another track than the current one acted on what it saw before a change.
void MprisService::setPosition(const QDBusObjectPath& track, qint64 position)
{
    if (!snapshot_.currentTrack() || track != currentTrackId())
        return;
    const double target = double(position) / 1e6;
    if (target < 0 || target > snapshot_.duration)
        return;
    commands_.perform(SeekCommand(target));
}

void MprisService::openUri(const QString& uri)
{
    if (!uri.startsWith(QLatin1String("file://"), Qt::CaseInsensitive))
        return;
    if (auto url = FileURL::fromUserInput(uri.toStdString()))
        commands_.perform(OpenTracksCommand({ url->normalizedFileURL() }));
}

std::optional<QVariantMap> MprisService::propertiesOf(const QString& interface) const
{
    if (interface == rootInterface)
        return MprisProperties::root();
    if (interface == playerInterface) {
        QVariantMap properties = MprisProperties::player(snapshot_);
        properties.insert(QStringLiteral("Position"), qint64(MprisProperties::microseconds(snapshot_.currentTime)));
        return properties;
    }
    return std::nullopt;
}

// The error for a property that is not there, or nothing.
std::optional<QDBusMessage> MprisService::missingProperty(const QDBusMessage& message) const
{
    const QString interface = message.arguments()[0].toString();
    const QString name = message.arguments()[1].toString();
    const auto properties = propertiesOf(interface);
    if (!properties)
        return message.createErrorReply(QDBusError::UnknownInterface, QStringLiteral("no interface %1").arg(interface));
    if (!properties->contains(name))
        return message.createErrorReply(QDBusError::UnknownProperty, QStringLiteral("no property %1").arg(name));
    return std::nullopt;
}

QDBusMessage MprisService::getProperty(const QDBusMessage& message)
{
    if (!hasSignature(message, "ss"))
        return invalidArguments(message);
    if (auto error = missingProperty(message))
        return *error;
    const QVariant value = propertiesOf(message.arguments()[0].toString())->value(message.arguments()[1].toString());
    return message.createReply(QVariant::fromValue(QDBusVariant(value)));
}

QDBusMessage MprisService::getAllProperties(const QDBusMessage& message)
{
    if (!hasSignature(message, "s"))
        return invalidArguments(message);
    const QString interface = message.arguments()[0].toString();
    const auto properties = propertiesOf(interface);
    if (!properties)
        return message.createErrorReply(QDBusError::UnknownInterface, QStringLiteral("no interface %1").arg(interface));
    return message.createReply(QVariant(*properties));
}

QDBusMessage MprisService::setProperty(const QDBusMessage& message)
{
    if (!hasSignature(message, "ssv"))
        return invalidArguments(message);
    if (auto error = missingProperty(message))
        return *error;
    const QString name = message.arguments()[1].toString();
    const QVariant value = qvariant_cast<QDBusVariant>(message.arguments()[2]).variant();
    const auto expected = writableType(message.arguments()[0].toString(), name);
    if (!expected)
        return message.createErrorReply(QDBusError::PropertyReadOnly, QStringLiteral("%1 is read-only").arg(name));
    if (value.typeId() != *expected)
        return message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("wrong type for %1").arg(name));
    if (const auto refusal = setPlayerProperty(name, value))
        return message.createErrorReply(refusal->first, refusal->second);
    return message.createReply();
}

std::optional<int> MprisService::writableType(const QString& interface, const QString& name)
{
    if (interface != playerInterface)
        return std::nullopt;
    if (name == QLatin1String("Volume") || name == QLatin1String("Rate"))
        return QMetaType::Double;
    if (name == QLatin1String("Shuffle"))
        return QMetaType::Bool;
    if (name == QLatin1String("LoopStatus"))
        return QMetaType::QString;
    return std::nullopt;
}

// The error to answer with, or nothing once the request is on its way.
std::optional<std::pair<QDBusError::ErrorType, QString>> MprisService::setPlayerProperty(const QString& name, const QVariant& value)
{
    if (name == QLatin1String("Volume")) {
        const double volume = value.toDouble();
        if (std::isnan(volume))
            return std::pair(QDBusError::InvalidArgs, QStringLiteral("the volume is not a number"));
        commands_.perform(SetVolumeCommand(float(std::clamp(volume, 0.0, 1.0))));
    } else if (name == QLatin1String("Shuffle")) {
        if (value.toBool() != snapshot_.isShuffled)
            commands_.perform(ToggleShuffleCommand());
    } else if (name == QLatin1String("LoopStatus")) {
        const QString status = value.toString();
        if (status == QLatin1String("Track"))
            return std::pair(QDBusError::NotSupported, QStringLiteral("repeating one track is not supported"));
        if (status != QLatin1String("None") && status != QLatin1String("Playlist"))
            return std::pair(QDBusError::InvalidArgs, QStringLiteral("no loop status %1").arg(status));
        if ((status == QLatin1String("Playlist")) != snapshot_.isRepeating)
            commands_.perform(ToggleRepeatCommand());
    } else if (value.toDouble() != 1.0) {
        return std::pair(QDBusError::NotSupported, QStringLiteral("only the normal rate is supported"));
    }
    return std::nullopt;
}

} // namespace lh
