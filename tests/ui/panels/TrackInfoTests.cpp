#include "PushButton.h"
#include "SupportedAudio.h"
#include "ToolbarView.h"
#include "TrackInfoPanelController.h"
#include "TrackInfoView.h"
#include "WindowButton.h"

#include <QBuffer>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace lh {
namespace {

using Row = TrackInfoView::Row;
using Rows = std::vector<Row>;

const FileURL flacURL("/Music/Artist - Title (1999).flac");

Rows rowsWith(const QString& kind, const QString& where, std::vector<QString> middle)
{
    const QString labels[] = { "Length:", "Bit Rate:", "Sample Rate:", "Channels:", "Size:", "Year:", "Genre:" };
    Rows rows { { "Kind:", kind } };
    for (std::size_t i = 0; i < middle.size(); ++i)
        rows.push_back({ labels[i], middle[i] });
    rows.push_back({ "Where:", where });
    return rows;
}

TrackInfo fullInfo()
{
    TrackInfo info;
    info.url = FileURL("/Music/song.MP3");
    info.title = "Song";
    info.artist = "Artist";
    info.album = "Album";
    info.year = "2004";
    info.genre = "Jazz";
    info.duration = 245.9;
    info.bitRate = 1411200;
    info.sampleRate = 44100;
    info.channels = 2;
    info.fileSize = 4213456;
    return info;
}

TEST(TrackInfoView, RowsAndStatusLine)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TrackInfo absent;
    absent.url = FileURL("/Music/noise");
    absent.title = "noise";
    TrackInfo odd = fullInfo();
    odd.bitRate = 999;
    odd.sampleRate = 22050.5;
    odd.channels = 6;
    odd.fileSize = 345;
    odd.year.reset();
    TrackInfo gains = absent;
    gains.replayGain = ReplayGain { -6.54f, 0.9f, 0.04f, std::nullopt };
    Rows gainRows = rowsWith("Audio file", "/Music/noise", { "", "", "", "", "", "", "" });
    gainRows.insert(gainRows.end() - 1, { "ReplayGain:", "Track \u22126.5 dB \u00b7 Album +0.0 dB" });
    TrackInfo albumGain = absent;
    albumGain.replayGain.albumGain = 3.3f;
    Rows albumRows = rowsWith("Audio file", "/Music/noise", { "", "", "", "", "", "", "" });
    albumRows.insert(albumRows.end() - 1, { "ReplayGain:", "Album +3.3 dB" });

    struct Case {
        const char* name;
        TrackInfo info;
        Rows rows;
        QString status;
    } cases[] = {
        { "placeholder", TrackInfo::placeholder(flacURL),
            rowsWith("FLAC audio file", "/Music/Artist - Title (1999).flac", { "", "", "", "", "", "1999", "" }),
            "Reading file\u2026" },
        { "full", fullInfo(),
            rowsWith("MPEG audio file", "/Music/song.MP3",
                { "4:05", "1411 kbps", "44.100 kHz", "Stereo", "4.2 MB", "2004", "Jazz" }),
            "4:05  \u00b7  2004" },
        { "absent values", absent, rowsWith("Audio file", "/Music/noise", { "", "", "", "", "", "", "" }), "" },
        { "gains before the location", gains, gainRows, "" },
        { "album gain alone", albumGain, albumRows, "" },
        { "odd values", odd,
            rowsWith("MPEG audio file", "/Music/song.MP3",
                { "4:05", "0 kbps", "22.050 kHz", "6 channels", "345 bytes", "", "Jazz" }),
            "4:05" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TrackInfoView::rows(c.info), c.rows);
        EXPECT_EQ(TrackInfoView::statusLine(c.info), c.status);
    }
    TrackInfo yearOnly = absent;
    yearOnly.year = "1987";
    EXPECT_EQ(TrackInfoView::statusLine(yearOnly), "1987");
    QLocale::setDefault(previous);
}

TEST(TrackInfoView, KindAndChannelTexts)
{
    const std::pair<const char*, const char*> kinds[] = { { "/a.mp3", "MPEG audio file" },
        { "/a.FLAC", "FLAC audio file" }, { "/a.m4a", "AAC audio file" }, { "/a.aac", "AAC audio file" },
        { "/a.wav", "WAV audio file" }, { "/a.aif", "AIFF audio file" }, { "/a.Aiff", "AIFF audio file" },
        { "/a.ogg", "Ogg Vorbis audio file" }, { "/a.opus", "Opus audio file" }, { "/a.WV", "WavPack audio file" },
        { "/a.ape", "Monkey's Audio file" }, { "/a.mp4", "Audio file" }, { "/mp3", "Audio file" } };
    for (const auto& [path, kind] : kinds)
        EXPECT_EQ(TrackInfoView::kind(FileURL(path)), kind) << path;
    // A format added to the player is named in the panel too.
    for (const std::string_view extension : SupportedAudio::fileExtensions)
        EXPECT_NE(TrackInfoView::kind(FileURL("/a." + std::string(extension))), "Audio file") << extension;
    EXPECT_EQ(TrackInfoView::channelsText(1), "Mono");
    EXPECT_EQ(TrackInfoView::channelsText(2), "Stereo");
    EXPECT_EQ(TrackInfoView::channelsText(0), "0 channels");
    EXPECT_EQ(TrackInfoView::channelsText(6), "6 channels");
}

// An image whose centred square holds four coloured quadrants (red, green / blue, yellow) and
// whose overhang, if any, is black.
QByteArray encodedArtwork(QSize size, const char* format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    const QRectF square = TrackInfoView::centredSquare(size);
    const double half = square.width() / 2;
    QPainter painter(&image);
    painter.fillRect(QRectF(square.topLeft(), QSizeF(half, half)), Qt::red);
    painter.fillRect(QRectF(square.topLeft() + QPointF(half, 0), QSizeF(half, half)), Qt::green);
    painter.fillRect(QRectF(square.topLeft() + QPointF(0, half), QSizeF(half, half)), Qt::blue);
    painter.fillRect(QRectF(square.center(), QSizeF(half, half)), Qt::yellow);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

bool near(QColor actual, QColor expected)
{
    return std::abs(actual.red() - expected.red()) < 40 && std::abs(actual.green() - expected.green()) < 40
        && std::abs(actual.blue() - expected.blue()) < 40;
}

TEST(TrackInfoView, ArtworkIsDrawnFromItsCentredSquare)
{
    struct Case {
        QSize size;
        const char* format;
    } cases[] = { { { 240, 240 }, "PNG" }, { { 300, 100 }, "PNG" }, { { 80, 320 }, "JPG" }, { { 61, 60 }, "PNG" } };
    const QRectF art = TrackInfoView::artworkRect;
    // Probes 2 points inside each corner and on each edge's middle, as (x, y, colour).
    const std::tuple<double, double, QColor> probes[] = { { art.left() + 2, art.top() + 2, Qt::red },
        { art.right() - 2, art.top() + 2, Qt::green }, { art.left() + 2, art.bottom() - 2, Qt::blue },
        { art.right() - 2, art.bottom() - 2, Qt::yellow }, { art.left() + 2, art.center().y() - 4, Qt::red },
        { art.right() - 2, art.center().y() + 4, Qt::yellow }, { art.center().x() - 4, art.top() + 2, Qt::red },
        { art.center().x() + 4, art.bottom() - 2, Qt::yellow } };
    for (const Case& c : cases) {
        TrackInfoView view;
        TrackInfo info = fullInfo();
        info.artwork = encodedArtwork(c.size, c.format);
        view.setInfo(info);
        ASSERT_TRUE(view.artwork());
        for (double ratio : { 1.0, 2.0 }) {
            SCOPED_TRACE(QStringLiteral("%1x%2 %3 at %4").arg(c.size.width()).arg(c.size.height()).arg(c.format).arg(ratio).toStdString());
            QImage image(view.size() * ratio, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            view.render(&image);
            for (const auto& [x, y, colour] : probes) {
                const QColor actual = image.pixelColor(int(x * ratio), int(y * ratio));
                EXPECT_TRUE(near(actual, colour)) << x << "," << y << " is " << actual.name().toStdString();
            }
        }
    }
}

TEST(TrackInfoView, UndecodableArtworkDrawsTheNoteSquare)
{
    TrackInfoView view;
    TrackInfo info = fullInfo();
    info.artwork = QByteArray("\xff\xd8 not really a JPEG");
    view.setInfo(info);
    EXPECT_FALSE(view.artwork());

    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&image);
        TrackInfoView::paint(painter, view.size(), info, std::nullopt);
    }
    const QRectF art = TrackInfoView::artworkRect;
    EXPECT_GT(qGray(image.pixel(int(art.left()) + 3, int(art.top()) + 2)), 250); // the gradient's white end
    EXPECT_LT(qGray(image.pixel(int(art.left()) + 3, int(art.bottom()) - 3)), 220); // the gradient's grey end
    EXPECT_EQ(qGray(image.pixel(int(art.left()), int(art.center().y()))), 140); // the outline, grey 0.55
}

QAbstractButton& closeButton(TrackInfoView& view)
{
    for (WindowButton* button : view.header().findChildren<WindowButton*>()) {
        if (button->kind() == WindowButton::Kind::close)
            return *button;
    }
    throw std::logic_error("no close button");
}

TEST(TrackInfoPanelController, EveryDismissalOnlyAsksToClose)
{
    TrackInfoPanelController controller;
    int closes = 0;
    controller.onClose = [&] { ++closes; };
    const TrackInfo info = fullInfo();
    controller.show(info, nullptr);
    TrackInfoView& view = controller.infoView();

    const std::pair<const char*, std::function<void()>> dismissals[] = {
        { "Return", [&] { QTest::keyClick(&view, Qt::Key_Return); } },
        { "keypad Enter", [&] { QTest::keyClick(&view, Qt::Key_Enter, Qt::KeypadModifier); } },
        { "Escape", [&] { QTest::keyClick(&view, Qt::Key_Escape); } },
        { "OK", [&] { QTest::mouseClick(&view.okButton(), Qt::LeftButton); } },
        { "close button", [&] { QTest::mouseClick(&closeButton(view), Qt::LeftButton); } },
        { "window close", [&] { EXPECT_FALSE(controller.panel().close()); } },
    };
    for (const auto& [name, dismiss] : dismissals) {
        SCOPED_TRACE(name);
        closes = 0;
        dismiss();
        EXPECT_EQ(closes, 1);
        EXPECT_TRUE(controller.panel().isVisible());
        EXPECT_EQ(view.info(), info);
    }
    closes = 0;
    QTest::keyClick(&view, Qt::Key_Space);
    QTest::keyClick(&view, Qt::Key_A);
    EXPECT_EQ(closes, 0);
}

TEST(TrackInfoPanelController, PlacesAHiddenPanelAndLeavesAVisibleOneWhereItIs)
{
    const QSize panel(TrackInfoView::width, TrackInfoView::height);
    EXPECT_EQ(TrackInfoPanelController::origin(panel, QRect(100, 50, 360, 600), QRect(0, 0, 1920, 1080)),
        QPoint(80, 110));
    EXPECT_EQ(TrackInfoPanelController::origin(panel, std::nullopt, QRect(1920, 0, 1000, 800)), QPoint(2220, 190));

    TrackInfoPanelController controller;
    controller.show(TrackInfo::placeholder(flacURL), nullptr);
    controller.panel().move(7, 9);
    controller.show(fullInfo(), nullptr);
    EXPECT_EQ(controller.panel().pos(), QPoint(7, 9));
    EXPECT_EQ(controller.infoView().info(), fullInfo());
}

} // namespace
} // namespace lh
