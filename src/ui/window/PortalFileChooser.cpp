#include "PortalFileChooser.h"

#include "MainThread.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QGuiApplication>
#include <QObject>
#include <QWidget>

namespace lh::portal {

// The portal's filter, a(sa(us)): a name and its patterns, each a glob (0) or a MIME type (1).
struct Pattern {
    uint type = 0;
    QString text;
};
struct Filter {
    QString name;
    QList<Pattern> patterns;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Pattern& pattern)
{
    argument.beginStructure();
    argument << pattern.type << pattern.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Pattern& pattern)
{
    argument.beginStructure();
    argument >> pattern.type >> pattern.text;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const Filter& filter)
{
    argument.beginStructure();
    argument << filter.name << filter.patterns;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Filter& filter)
{
    argument.beginStructure();
    argument >> filter.name >> filter.patterns;
    argument.endStructure();
    return argument;
}

} // namespace lh::portal

Q_DECLARE_METATYPE(lh::portal::Pattern)
Q_DECLARE_METATYPE(lh::portal::Filter)

namespace lh {

namespace {

void registerTypes()
{
    static const bool isRegistered = [] {
        qDBusRegisterMetaType<portal::Pattern>();
        qDBusRegisterMetaType<QList<portal::Pattern>>();
        qDBusRegisterMetaType<portal::Filter>();
        qDBusRegisterMetaType<QList<portal::Filter>>();
        return true;
    }();
    (void)isRegistered;
}

portal::Filter portalFilter(const QString& filter)
{
    const FileDialogs::NameFilter parsed = FileDialogs::parseFilter(filter);
    portal::Filter result { parsed.name, {} };
    for (const QString& pattern : parsed.patterns)
        result.patterns.append({ 0, pattern });
    return result;
}

// Where the portal will put the request object: the handle is predictable from our name on the
// bus and the token, so the Response can be listened for before the call, and none is missed.
QString requestPath(const QDBusConnection& bus, const QString& token)
{
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

QVariantMap optionsFor(const FileDialogs::Request& request, const QString& token)
{
    QVariantMap options {
        { QStringLiteral("handle_token"), token },
        { QStringLiteral("modal"), true },
    };
    // The portal takes the folder as bytes with a terminating NUL, as the file system names it.
    QByteArray folder = QFile::encodeName(request.folder);
    folder.append('\0');
    options.insert(QStringLiteral("current_folder"), folder);
    if (request.mode == FileDialogs::Mode::chooseFolder)
        options.insert(QStringLiteral("directory"), true);
    if (request.mode == FileDialogs::Mode::openFiles)
        options.insert(QStringLiteral("multiple"), true);
    if (request.mode == FileDialogs::Mode::save)
        options.insert(QStringLiteral("current_name"), request.name);
    if (!request.filters.isEmpty() && request.mode != FileDialogs::Mode::chooseFolder) {
        QList<portal::Filter> filters;
        for (const QString& filter : request.filters)
            filters.append(portalFilter(filter));
        options.insert(QStringLiteral("current_filter"), QVariant::fromValue(filters.front()));
        options.insert(QStringLiteral("filters"), QVariant::fromValue(filters));
    }
    return options;
}

} // namespace

// One chooser the portal shows: its Response signal, and the answer owed.
class PortalFileChooser::Request : public QObject {
    Q_OBJECT
public:
    Request(QDBusConnection bus, QStringList filters, Answer answer)
        : bus_(std::move(bus))
        , filters_(std::move(filters))
        , answer_(std::move(answer))
    {
    }

    ~Request() override
    {
        // Still open: the chooser goes with us, so no window is left asking for nothing.
        if (answer_ && !handle_.isEmpty()) {
            bus_.send(QDBusMessage::createMethodCall(QString::fromLatin1(service), handle_,
                QString::fromLatin1(requestInterface), QStringLiteral("Close")));
        }
    }

    void listenAt(const QString& handle)
    {
        if (handle == handle_)
            return;
        if (!handle_.isEmpty())
            bus_.disconnect(QString::fromLatin1(service), handle_, QString::fromLatin1(requestInterface),
                QStringLiteral("Response"), this, SLOT(response(uint, QVariantMap)));
        handle_ = handle;
        bus_.connect(QString::fromLatin1(service), handle_, QString::fromLatin1(requestInterface),
            QStringLiteral("Response"), this, SLOT(response(uint, QVariantMap)));
    }

    // Called at most once; the owner learns of it through `done`.
    std::function<void(std::optional<Choice>)> done;

public Q_SLOTS:
    void response(uint code, const QVariantMap& results)
    {
        constexpr uint success = 0, cancelled = 1;
        if (code == success)
            finish(choiceOf(results));
        else if (code == cancelled)
            finish(Choice {});
        else
            finish(std::nullopt); // the chooser failed: let our own dialog ask
    }

public:
    void finish(std::optional<Choice> choice)
    {
        Answer answer = std::exchange(answer_, nullptr);
        if (!answer)
            return;
        done(choice);
        answer(std::move(choice));
    }

private:
    Choice choiceOf(const QVariantMap& results) const
    {
        Choice choice;
        for (const QString& uri : results.value(QStringLiteral("uris")).toStringList()) {
            if (std::optional<FileURL> file = FileURL::fromUserInput(uri.toStdString()))
                choice.files.push_back(std::move(*file));
        }
        const QVariant filter = results.value(QStringLiteral("current_filter"));
        if (filter.canConvert<QDBusArgument>()) {
            const QString name = qdbus_cast<portal::Filter>(filter).name;
            for (qsizetype i = 0; i < filters_.size(); ++i) {
                if (FileDialogs::parseFilter(filters_[i]).name == name)
                    choice.filter = int(i);
            }
        }
        return choice;
    }

    QDBusConnection bus_;
    QStringList filters_;
    Answer answer_;
    QString handle_;
};

PortalFileChooser::PortalFileChooser(std::function<QDBusConnection()> connect)
    : connect_(std::move(connect))
{
    registerTypes();
}

PortalFileChooser::~PortalFileChooser() = default;

void PortalFileChooser::ask(const FileDialogs::Request& request, const QString& title, const QString& parentWindow, Answer answer)
{
    if (!bus_)
        bus_ = connect_();
    if (isAbsent_ || !bus_->isConnected()) {
        MainThread::post([answer = std::move(answer)] { answer(std::nullopt); });
        return;
    }
    const QString token = QStringLiteral("larkhaven%1").arg(++serial_);
    request_ = std::make_unique<Request>(*bus_, request.filters, std::move(answer));
    Request* const current = request_.get();
    // The request may answer from inside its own signal: it is let go of later, not there.
    current->done = [this, current](const std::optional<Choice>& choice) {
        if (!choice)
            isAbsent_ = true;
        if (request_.get() == current)
            request_.release()->deleteLater();
    };
    current->listenAt(requestPath(*bus_, token));
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(service), QString::fromLatin1(objectPath),
        QString::fromLatin1(interface), request.mode == FileDialogs::Mode::save ? QStringLiteral("SaveFile") : QStringLiteral("OpenFile"));
    call << parentWindow << title << optionsFor(request, token);
    auto* watcher = new QDBusPendingCallWatcher(bus_->asyncCall(call, callTimeoutMilliseconds), current);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, current, [current](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *finished;
        if (reply.isError())
            current->finish(std::nullopt);
        else
            current->listenAt(reply.value().path()); // an older portal may not have used the token
    });
}

QString PortalFileChooser::parentWindowOf(const QWidget& window)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return {};
    return QStringLiteral("x11:%1").arg(window.window()->winId(), 0, 16);
}

} // namespace lh

#include "PortalFileChooser.moc"
