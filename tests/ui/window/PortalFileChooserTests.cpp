#include "PortalFileChooser.h"

#include "DesktopFileDialogs.h"
#include "EventLoop.h"
#include "PrivateSessionBus.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QWidget>

#include <gtest/gtest.h>

namespace lh::test {

// The portal's filter type, spelt out again here so the fake reads and writes what the wire
// carries, not what the chooser's own code thinks it carries.
struct WirePattern {
    uint type = 0;
    QString text;
};
struct WireFilter {
    QString name;
    QList<WirePattern> patterns;
};

QDBusArgument& operator<<(QDBusArgument& argument, const WirePattern& pattern)
{
    argument.beginStructure();
    argument << pattern.type << pattern.text;
    argument.endStructure();
    return argument;
}
const QDBusArgument& operator>>(const QDBusArgument& argument, WirePattern& pattern)
{
    argument.beginStructure();
    argument >> pattern.type >> pattern.text;
    argument.endStructure();
    return argument;
}
QDBusArgument& operator<<(QDBusArgument& argument, const WireFilter& filter)
{
    argument.beginStructure();
    argument << filter.name << filter.patterns;
    argument.endStructure();
    return argument;
}
const QDBusArgument& operator>>(const QDBusArgument& argument, WireFilter& filter)
{
    argument.beginStructure();
    argument >> filter.name >> filter.patterns;
    argument.endStructure();
    return argument;
}

} // namespace lh::test

Q_DECLARE_METATYPE(lh::test::WirePattern)
Q_DECLARE_METATYPE(lh::test::WireFilter)

namespace lh {
namespace {

using test::WireFilter;

// A file chooser portal of the test's own on a private bus: it answers OpenFile and SaveFile
// with the request's handle, as the real one does, and sends the Response when the test says.
class FakePortal final : public QDBusVirtualObject {
public:
    std::vector<QDBusMessage> calls;
    QStringList closed;

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() == QLatin1String("Close")) {
            closed << message.path();
            connection.send(message.createReply());
            return true;
        }
        calls.push_back(message);
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(handle()))));
        return true;
    }

    QVariantMap options() const { return qdbus_cast<QVariantMap>(calls.back().arguments().at(2)); }

    QString handle() const
    {
        QString sender = calls.back().service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
        return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, options().value("handle_token").toString());
    }

    void respond(QDBusConnection& bus, uint code, const QVariantMap& results)
    {
        QDBusMessage signal = QDBusMessage::createSignal(handle(), "org.freedesktop.portal.Request", "Response");
        signal << code << results;
        bus.send(signal);
    }
};

class PortalFileChooserTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        qDBusRegisterMetaType<test::WirePattern>();
        qDBusRegisterMetaType<QList<test::WirePattern>>();
        qDBusRegisterMetaType<WireFilter>();
        qDBusRegisterMetaType<QList<WireFilter>>();
        if (auto started = test::PrivateSessionBus::start(whyNot_))
            bus_.emplace(std::move(*started));
    }
    static void TearDownTestSuite() { bus_.reset(); }

    void SetUp() override
    {
        if (!bus_)
            GTEST_SKIP() << whyNot_;
        portalBus_.emplace(QDBusConnection::connectToBus(bus_->address(), QStringLiteral("portal")));
    }

    void TearDown() override
    {
        if (portalBus_) {
            portalBus_->unregisterService(PortalFileChooser::service);
            portalBus_->unregisterObject(PortalFileChooser::objectPath, QDBusConnection::UnregisterTree);
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
        QDBusConnection::disconnectFromBus(QStringLiteral("player"));
    }

    void servePortal()
    {
        ASSERT_TRUE(portalBus_->registerVirtualObject(PortalFileChooser::objectPath, &portal_, QDBusConnection::SubPath));
        ASSERT_TRUE(portalBus_->registerService(PortalFileChooser::service));
    }

    std::unique_ptr<PortalFileChooser> chooser()
    {
        return std::make_unique<PortalFileChooser>(
            [address = bus_->address()] { return QDBusConnection::connectToBus(address, QStringLiteral("player")); });
    }

    // Asks, and waits for the portal to be called.
    void ask(PortalFileChooser& chooser, const FileDialogs::Request& request)
    {
        const std::size_t before = portal_.calls.size();
        chooser.ask(request, QStringLiteral("Add Files"), QStringLiteral("x11:1f"), [this](std::optional<PortalFileChooser::Choice> choice) {
            answers.push_back(std::move(choice));
        });
        ASSERT_TRUE(test::runEventsUntil([&] { return portal_.calls.size() > before; }));
    }

    static QStringList filtersOf(const QVariant& value)
    {
        QStringList filters;
        for (const WireFilter& filter : qdbus_cast<QList<WireFilter>>(value)) {
            QStringList patterns;
            for (const test::WirePattern& pattern : filter.patterns)
                patterns << QStringLiteral("%1:%2").arg(pattern.type).arg(pattern.text);
            filters << filter.name + QLatin1Char(' ') + patterns.join(QLatin1Char(','));
        }
        return filters;
    }

    FakePortal portal_;
    std::optional<QDBusConnection> portalBus_;
    std::vector<std::optional<PortalFileChooser::Choice>> answers;
    static inline std::optional<test::PrivateSessionBus> bus_;
    static inline std::string whyNot_;
};

TEST_F(PortalFileChooserTest, OpenFilesAsksWithTheFilterAndGetsTheFilesByteForByte)
{
    servePortal();
    auto files = chooser();
    ask(*files, { FileDialogs::Mode::openFiles, QStringLiteral("/music"), { QStringLiteral("Music (*.flac *.MP3)") }, {} });
    const QDBusMessage& call = portal_.calls.back();
    EXPECT_EQ(call.member(), "OpenFile");
    EXPECT_EQ(call.arguments().at(0).toString(), "x11:1f");
    EXPECT_EQ(call.arguments().at(1).toString(), "Add Files");
    const QVariantMap options = portal_.options();
    EXPECT_EQ(options.value("current_folder").toByteArray(), QByteArray("/music\0", 7));
    EXPECT_TRUE(options.value("multiple").toBool());
    EXPECT_FALSE(options.contains("directory"));
    EXPECT_EQ(filtersOf(options.value("filters")), QStringList({ "Music 0:*.flac,0:*.MP3" }));

    portal_.respond(*portalBus_, 0, { { "uris", QStringList { "file:///music/a%20b.flac", "file:///music/Caf%E9.flac", "https://x/y.mp3" } } });
    ASSERT_TRUE(test::runEventsUntil([&] { return !answers.empty(); }));
    ASSERT_TRUE(answers.back());
    ASSERT_EQ(answers.back()->files.size(), 2u); // not a web address
    EXPECT_EQ(answers.back()->files[0].path(), "/music/a b.flac");
    EXPECT_EQ(answers.back()->files[1].path(), "/music/Caf\xE9.flac");
}

TEST_F(PortalFileChooserTest, SaveFileOffersTheNameAndTellsTheFilterChosen)
{
    servePortal();
    auto files = chooser();
    ask(*files, { FileDialogs::Mode::save, QStringLiteral("/music"), FileDialogs::exportFilters(), QStringLiteral("Playlist.m3u8") });
    EXPECT_EQ(portal_.calls.back().member(), "SaveFile");
    EXPECT_EQ(portal_.options().value("current_name").toString(), "Playlist.m3u8");
    EXPECT_EQ(filtersOf(portal_.options().value("filters")).size(), 3);

    const WireFilter pls { QStringLiteral("PLS playlist"), { { 0, QStringLiteral("*.pls") } } };
    portal_.respond(*portalBus_, 0, { { "uris", QStringList { "file:///music/Road" } }, { "current_filter", QVariant::fromValue(pls) } });
    ASSERT_TRUE(test::runEventsUntil([&] { return !answers.empty(); }));
    ASSERT_TRUE(answers.back());
    EXPECT_EQ(answers.back()->filter, 1);
}

TEST_F(PortalFileChooserTest, ACancelIsAnAnswerAndAChooserLeftOpenIsClosed)
{
    servePortal();
    auto files = chooser();
    ask(*files, { FileDialogs::Mode::chooseFolder, QStringLiteral("/music"), {}, {} });
    EXPECT_TRUE(portal_.options().value("directory").toBool());
    portal_.respond(*portalBus_, 1, {});
    ASSERT_TRUE(test::runEventsUntil([&] { return !answers.empty(); }));
    ASSERT_TRUE(answers.back()) << "cancelled, not failed: no other dialog follows";
    EXPECT_TRUE(answers.back()->files.empty());

    ask(*files, { FileDialogs::Mode::openFiles, QStringLiteral("/music"), {}, {} });
    const QString handle = portal_.handle();
    test::runEventsFor(std::chrono::milliseconds(50)); // the call's reply arrives
    files.reset();
    EXPECT_TRUE(test::runEventsUntil([&] { return portal_.closed == QStringList { handle }; }));
    EXPECT_EQ(answers.size(), 1u);
}

// Without a portal, our own dialog asks, and a second request while it is open is a cancel.
TEST_F(PortalFileChooserTest, WithoutAPortalOurOwnDialogAsks)
{
    QWidget window;
    DesktopFileDialogs dialogs(window, chooser());
    std::vector<std::vector<FileURL>> chosen;
    dialogs.openFiles([&](std::vector<FileURL> files) { chosen.push_back(std::move(files)); });
    ASSERT_TRUE(test::runEventsUntil([&] { return dialogs.browser() != nullptr; }));
    dialogs.openFiles([&](std::vector<FileURL> files) { chosen.push_back(std::move(files)); });
    ASSERT_TRUE(test::runEventsUntil([&] { return chosen.size() == 1; }));
    EXPECT_TRUE(chosen.front().empty());
    dialogs.browser()->reject();
    EXPECT_EQ(chosen.size(), 2u);
    EXPECT_TRUE(test::runEventsUntil([&] { return dialogs.browser() == nullptr; }));
}

} // namespace
} // namespace lh
