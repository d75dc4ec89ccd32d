#include "Gallery.h"

#include "TrackInfoView.h"

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

namespace lh::gallery {

namespace {

// A stand-in cover: a diagonal gradient with a ring centred in the image, so a crop that is
// off-centre or a stretch shows at a glance.
QByteArray cover(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(40, 70, 140));
    gradient.setColorAt(1, QColor(220, 120, 60));
    painter.fillRect(image.rect(), gradient);
    const double side = std::min(size.width(), size.height());
    painter.setPen(QPen(QColor(250, 240, 200), side / 12));
    painter.drawEllipse(QPointF(size.width() / 2.0, size.height() / 2.0), side / 3, side / 3);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

TrackInfo fullInfo()
{
    TrackInfo info;
    info.url = FileURL("/home/ada/Music/Nightjar/Long Evenings/03 Lanterns on the Water.flac");
    info.title = "Lanterns on the Water";
    info.artist = "Nightjar";
    info.album = "Long Evenings";
    info.year = "2011";
    info.genre = "Ambient";
    info.duration = 372.4;
    info.bitRate = 912345;
    info.sampleRate = 44100;
    info.channels = 2;
    info.fileSize = 42487112;
    return info;
}

void shoot(const Camera& camera, const QString& name, const std::optional<TrackInfo>& info)
{
    TrackInfoView view;
    view.setInfo(info);
    camera.shoot(name, view);
}

const Page info("info", [](const Camera& camera) {
    shoot(camera, "info-empty", std::nullopt);
    shoot(camera, "info-placeholder",
        TrackInfo::placeholder(FileURL("/home/ada/Music/Nightjar - Lanterns on the Water (2011).flac")));

    TrackInfo square = fullInfo();
    square.artwork = cover({ 600, 600 });
    shoot(camera, "info-full-square", square);

    TrackInfo wide = fullInfo();
    wide.artwork = cover({ 900, 400 });
    wide.url = FileURL("/home/ada/Music/song.mp3");
    wide.genre.reset();
    wide.year.reset();
    shoot(camera, "info-full-wide", wide);

    TrackInfo longPath = fullInfo();
    longPath.url = FileURL("/run/user/1000/gvfs/smb-share:server=nas.local,share=music/Various Artists/"
                           "The Complete Collection of Extremely Long Album Names (Remastered Deluxe Edition)/"
                           "Disc 04/17 A Track Whose Title Goes On and On Without End.m4a");
    longPath.title = "A Track Whose Title Goes On and On Without End, Much Longer Than the Column";
    shoot(camera, "info-long-path", longPath);
    longPath.replayGain = ReplayGain { -6.54f, 0.98f, -7.1f, 1.0f };
    shoot(camera, "info-long-path-replaygain", longPath);

    TrackInfo image = fullInfo();
    image.url = FileURL("/home/ada/Music/Nightjar/Lanterns on the Water.flac");
    image.cueSheetNote = QStringLiteral("cue sheet inside the file; Lanterns on the Water.cue not used");
    shoot(camera, "info-embedded-sheet", image);
});

} // namespace

} // namespace lh::gallery
