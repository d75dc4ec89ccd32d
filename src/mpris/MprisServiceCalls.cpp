// The requests clients send: methods, properties and introspection.
#include "MprisService.h"

#include <QDBusObjectPath>
#include <QDBusVariant>

#include <algorithm>
#include <cmath>

namespace lh {

namespace {

const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

QDBusMessage invalidArguments(const QDBusMessage& message)
{
    return message.createErrorReply(QDBusError::InvalidArgs,
        QStringLiteral("%1 takes (%2)").arg(message.member(), message.signature()));
}

QString xmlOf(const std::vector<MprisService::Argument>& arguments, bool isSignal)
{
    QString xml;
    for (const MprisService::Argument& argument : arguments) {
        xml += QStringLiteral("      <arg name=\"%1\" type=\"%2\"").arg(QLatin1String(argument.name), QLatin1String(argument.type));
        if (!isSignal)
            xml += argument.isOut ? QStringLiteral(" direction=\"out\"") : QStringLiteral(" direction=\"in\"");
        xml += QStringLiteral("/>\n");
    }
    return xml;
}

QString xmlOf(const MprisService::Interface& interface)
{
    QString xml = QStringLiteral("  <interface name=\"%1\">\n").arg(QLatin1String(interface.name));
    for (const MprisService::Method& method : interface.methods)
        xml += QStringLiteral("    <method name=\"%1\">\n%2    </method>\n").arg(QLatin1String(method.name), xmlOf(method.arguments, false));
    for (const MprisService::Signal& signal : interface.emitted)
        xml += QStringLiteral("    <signal name=\"%1\">\n%2    </signal>\n").arg(QLatin1String(signal.name), xmlOf(signal.arguments, true));
    for (const MprisService::Property& property : interface.properties) {
        xml += QStringLiteral("    <property name=\"%1\" type=\"%2\" access=\"%3\"/>\n")
                   .arg(QLatin1String(property.name), QLatin1String(property.type),
                       property.writableAs ? QStringLiteral("readwrite") : QStringLiteral("read"));
    }
    return xml + QStringLiteral("  </interface>\n");
}

QString signatureOf(const MprisService::Method& method)
{
    QString signature;
    for (const MprisService::Argument& argument : method.arguments) {
        if (!argument.isOut)
            signature += QLatin1String(argument.type);
    }
    return signature;
}

} // namespace

// The object's whole interface, once: introspection, dispatch and which properties clients may
// set are all read from here. The standard interfaces come first; the two media-player ones
// follow.
const std::vector<MprisService::Interface>& MprisService::interfaces()
{
    using S = MprisService;
    constexpr auto out = Argument::Direction::out;
    static const std::vector<Interface> all {
        { "org.freedesktop.DBus.Introspectable", true,
            { { "Introspect", { { "xml_data", "s", out } }, &S::introspectCall } }, {}, {} },
        { "org.freedesktop.DBus.Properties", true,
            {
                { "Get", { { "interface_name", "s" }, { "property_name", "s" }, { "value", "v", out } }, &S::getProperty },
                { "GetAll", { { "interface_name", "s" }, { "properties", "a{sv}", out } }, &S::getAllProperties },
                { "Set", { { "interface_name", "s" }, { "property_name", "s" }, { "value", "v" } }, &S::setProperty },
            },
            { { "PropertiesChanged",
                { { "interface_name", "s" }, { "changed_properties", "a{sv}" }, { "invalidated_properties", "as" } } } },
            {} },
        { "org.mpris.MediaPlayer2", false, { { "Raise", {}, &S::raise }, { "Quit", {}, &S::quit } }, {},
            {
                { "CanQuit", "b" },
                { "CanRaise", "b" },
                { "HasTrackList", "b" },
                { "Identity", "s" },
                { "DesktopEntry", "s" },
                { "SupportedUriSchemes", "as" },
                { "SupportedMimeTypes", "as" },
            } },
        { "org.mpris.MediaPlayer2.Player", false,
            {
                { "Next", {}, &S::next },
                { "Previous", {}, &S::previous },
                { "Pause", {}, &S::pause },
                { "PlayPause", {}, &S::playPause },
                { "Stop", {}, &S::stop },
                { "Play", {}, &S::play },
                { "Seek", { { "Offset", "x" } }, &S::seek },
                { "SetPosition", { { "TrackId", "o" }, { "Position", "x" } }, &S::setPositionCall },
                { "OpenUri", { { "Uri", "s" } }, &S::openUriCall },
            },
            { { "Seeked", { { "Position", "x" } } } },
            {
                { "PlaybackStatus", "s" },
                { "LoopStatus", "s", QMetaType::QString },
                { "Rate", "d", QMetaType::Double },
                { "Shuffle", "b", QMetaType::Bool },
                { "Metadata", "a{sv}" },
                { "Volume", "d", QMetaType::Double },
                { "Position", "x" },
                { "MinimumRate", "d" },
                { "MaximumRate", "d" },
                { "CanGoNext", "b" },
                { "CanGoPrevious", "b" },
                { "CanPlay", "b" },
                { "CanPause", "b" },
                { "CanSeek", "b" },
                { "CanControl", "b" },
            } },
    };
    return all;
}

const MprisService::Interface* MprisService::interfaceNamed(const QString& name)
{
    for (const Interface& interface : interfaces()) {
        if (name == QLatin1String(interface.name))
            return &interface;
    }
    return nullptr;
}

QString MprisService::interfaceDescriptions()
{
    QString xml;
    for (const Interface& interface : interfaces()) {
        if (!interface.isStandard)
            xml += xmlOf(interface);
    }
    return xml;
}

QString MprisService::introspection()
{
    QString xml = QStringLiteral(R"(<!DOCTYPE node PUBLIC "-//freedesktop//DTD D-BUS Object Introspection 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd">
<node>
)");
    for (const Interface& interface : interfaces())
        xml += xmlOf(interface);
    return xml + QStringLiteral("</node>\n");
}

// A call without an interface names a media-player method: the root's first, then the player's.
const MprisService::Method* MprisService::methodFor(const QDBusMessage& message)
{
    const auto find = [&](const QString& interfaceName) -> const Method* {
        const Interface* interface = interfaceNamed(interfaceName);
        if (!interface)
            return nullptr;
        for (const Method& method : interface->methods) {
            if (message.member() == QLatin1String(method.name))
                return &method;
        }
        return nullptr;
    };
    if (!message.interface().isEmpty())
        return find(message.interface());
    const Method* method = find(QStringLiteral("org.mpris.MediaPlayer2"));
    return method ? method : find(playerInterface);
}

QDBusMessage MprisService::call(const QDBusMessage& message)
{
    const Method* method = methodFor(message);
    if (!method) {
        return message.createErrorReply(QDBusError::UnknownMethod,
            QStringLiteral("no method %1 in %2").arg(message.member(), message.interface()));
    }
    if (message.signature() != signatureOf(*method))
        return invalidArguments(message);
    return (this->*method->run)(message);
}

QDBusMessage MprisService::introspectCall(const QDBusMessage& message)
{
    return message.createReply(introspection());
}

// Without a window to raise or a way to quit the methods are not there.
QDBusMessage MprisService::raise(const QDBusMessage& message)
{
    if (!actions_.raise)
        return message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("no method Raise"));
    actions_.raise();
    return message.createReply();
}

QDBusMessage MprisService::quit(const QDBusMessage& message)
{
    if (!actions_.quit)
        return message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("no method Quit"));
    actions_.quit();
    return message.createReply();
}

// A track waiting for its copy is already on its way to playing.
QDBusMessage MprisService::play(const QDBusMessage& message)
{
    if (!snapshot_.isPlaying && !snapshot_.isLoading)
        commands_.perform(TogglePlayPauseCommand());
    return message.createReply();
}

QDBusMessage MprisService::pause(const QDBusMessage& message)
{
    if (snapshot_.isPlaying)
        commands_.perform(TogglePlayPauseCommand());
    return message.createReply();
}

QDBusMessage MprisService::playPause(const QDBusMessage& message) { return perform(message, TogglePlayPauseCommand()); }
QDBusMessage MprisService::stop(const QDBusMessage& message) { return perform(message, StopCommand()); }
QDBusMessage MprisService::next(const QDBusMessage& message) { return perform(message, NextCommand()); }
QDBusMessage MprisService::previous(const QDBusMessage& message) { return perform(message, PreviousCommand()); }

QDBusMessage MprisService::perform(const QDBusMessage& message, const Command& command)
{
    commands_.perform(command);
    return message.createReply();
}

QDBusMessage MprisService::seek(const QDBusMessage& message)
{
    seekBy(message.arguments()[0].toLongLong());
    return message.createReply();
}

QDBusMessage MprisService::setPositionCall(const QDBusMessage& message)
{
    setPosition(qvariant_cast<QDBusObjectPath>(message.arguments()[0]), message.arguments()[1].toLongLong());
    return message.createReply();
}

QDBusMessage MprisService::openUriCall(const QDBusMessage& message)
{
    openUri(message.arguments()[0].toString());
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
    if (interface == QLatin1String("org.mpris.MediaPlayer2"))
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
    if (auto error = missingProperty(message))
        return *error;
    const QVariant value = propertiesOf(message.arguments()[0].toString())->value(message.arguments()[1].toString());
    return message.createReply(QVariant::fromValue(QDBusVariant(value)));
}

QDBusMessage MprisService::getAllProperties(const QDBusMessage& message)
{
    const QString interface = message.arguments()[0].toString();
    const auto properties = propertiesOf(interface);
    if (!properties)
        return message.createErrorReply(QDBusError::UnknownInterface, QStringLiteral("no interface %1").arg(interface));
    return message.createReply(QVariant(*properties));
}

QDBusMessage MprisService::setProperty(const QDBusMessage& message)
{
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

std::optional<int> MprisService::writableType(const QString& interfaceName, const QString& name)
{
    if (const Interface* interface = interfaceNamed(interfaceName)) {
        for (const Property& property : interface->properties) {
            if (name == QLatin1String(property.name) && property.writableAs)
                return property.writableAs;
        }
    }
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
