// The requests clients send: methods, properties and introspection.
#include "MprisService.h"

#include <QDBusObjectPath>
#include <QDBusVariant>

#include <algorithm>
#include <cmath>

namespace lh {

namespace {

const QString rootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString introspectableInterface = QStringLiteral("org.freedesktop.DBus.Introspectable");

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

QString MprisService::interfaceDescriptions()
{
    return QString::fromLatin1(interfacesXml);
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
