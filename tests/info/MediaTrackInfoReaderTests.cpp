#include "MediaTrackInfoReader.h"

#include "AudioFixture.h"
#include "Fifo.h"
#include "FileTags.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/wavpackfile.h>

namespace lh {
namespace {

using test::AudioFixture::generate;

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList sineInput(int sampleRate)
{
    return { "-f", "lavfi", "-i", QStringLiteral("sine=frequency=440:sample_rate=%1:duration=1").arg(sampleRate) };
}

QStringList sine(int sampleRate, int channels)
{
    return sineInput(sampleRate) + QStringList { "-ac", QString::number(channels) };
}

QStringList withoutTags()
{
    return { "-map_metadata", "-1", "-fflags", "+bitexact" };
}

// A version 2.4 ID3 tag built by hand, for frame orders and sizes the ffmpeg tool never writes.
class Id3v24 {
public:
    Id3v24& text(const char* id, const QByteArray& utf8) { return frame(id, '\x03' + utf8); }
    Id3v24& picture(const QByteArray& image)
    {
        return frame("APIC", QByteArray("\x00image/png\x00\x03\x00", 13) + image);
    }
    QByteArray bytes() const { return "ID3" + QByteArray("\x04\x00\x00", 3) + synchsafe(frames_.size()) + frames_; }

private:
    static QByteArray synchsafe(qsizetype size)
    {
        QByteArray out(4, '\0');
        for (int i = 3; i >= 0; --i, size >>= 7)
            out[i] = static_cast<char>(size & 0x7f);
        return out;
    }
    Id3v24& frame(const char* id, const QByteArray& body)
    {
        frames_ += QByteArray(id) + synchsafe(body.size()) + QByteArray(2, '\0') + body;
        return *this;
    }
    QByteArray frames_;
};

QByteArray id3v1(const QByteArray& title, const QByteArray& year)
{
    QByteArray tag = "TAG" + title.leftJustified(30, '\0', true) + QByteArray(60, '\0') + year.leftJustified(4, '\0', true);
    return tag + QByteArray(30, '\0') + QByteArray(1, '\xff');
}

class MediaTrackInfoReaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new QTemporaryDir;
        ASSERT_TRUE(generate({ "-f", "lavfi", "-i", "color=c=red:s=16x16", "-frames:v", "1" }, path("cover.png")));
        ASSERT_TRUE(generate(sine(44100, 2) + withoutTags(), path("plain.mp3")));
    }
    static void TearDownTestSuite()
    {
        delete folder;
        folder = nullptr;
    }
    static QString path(const QString& name) { return folder->path() + "/" + name; }
    static FileURL url(const QString& name) { return FileURL::fromLocalFile(path(name)); }
    static TrackInfo read(const QString& name) { return MediaTrackInfoReader().readInfo(url(name), url(name)); }

    // An untagged MP3 with `tag` in front and `trailer` behind.
    static void wrapPlainMp3(const QString& name, const QByteArray& tag, const QByteArray& trailer = {})
    {
        ASSERT_TRUE(writeFile(path(name), tag + contents(path("plain.mp3")) + trailer));
    }

    static inline QTemporaryDir* folder = nullptr;
};

// How a cover gets into a file of each kind.
enum class Cover { none, attachedPicture, xiphPicture, apeItem, asfPicture, attachment };

struct FormatCase {
    const char* name;
    int sampleRate;
    int channels;
    QStringList tagOptions; // how the ffmpeg tool writes tags into this container (it names a
                            // year "date" where taggers write APE "Year" and ASF "WM/Year")
    Cover cover;
    const char* genre; // "(17)" as the file stores it, or as a plain genre
};

// A METADATA_BLOCK_PICTURE value: a FLAC picture block, in base 64, as Ogg comments carry it.
QString xiphPicture(const QByteArray& image)
{
    QByteArray block;
    auto number = [&](quint32 value) {
        for (int shift = 24; shift >= 0; shift -= 8)
            block += static_cast<char>((value >> shift) & 0xff);
    };
    number(3); // front cover
    number(9);
    block += "image/png";
    number(0); // no description
    for (int i = 0; i < 4; ++i)
        number(0); // size and colours unknown
    number(static_cast<quint32>(image.size()));
    block += image;
    return QString::fromLatin1(block.toBase64());
}

// Writes the cover the ffmpeg tool cannot, the way taggers do.
void addCover(Cover cover, const QString& file, const QByteArray& image)
{
    const QByteArray path = QFile::encodeName(file);
    const TagLib::ByteVector bytes(image.constData(), static_cast<unsigned>(image.size()));
    if (cover == Cover::apeItem) {
        TagLib::WavPack::File wavPack(path.constData(), false);
        TagLib::APE::Item item("Cover Art (Front)", TagLib::ByteVector("cover.png", 10) + bytes, true);
        wavPack.APETag(true)->setItem("Cover Art (Front)", item);
        ASSERT_TRUE(wavPack.save());
    } else if (cover == Cover::asfPicture) {
        TagLib::ASF::File asf(path.constData(), false);
        TagLib::ASF::Picture picture;
        picture.setMimeType("image/png");
        picture.setType(TagLib::ASF::Picture::FrontCover);
        picture.setPicture(bytes);
        asf.tag()->addAttribute("WM/Picture", TagLib::ASF::Attribute(picture));
        ASSERT_TRUE(asf.save());
    }
}

class EveryFormat : public MediaTrackInfoReaderTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(EveryFormat, ReadsTagsArtworkAndStream)
{
    const FormatCase& c = GetParam();
    QStringList arguments = sineInput(c.sampleRate);
    if (c.cover == Cover::attachedPicture)
        arguments += { "-i", path("cover.png"), "-map", "0", "-map", "1", "-c:v", "copy", "-disposition:v", "attached_pic" };
    if (c.cover == Cover::xiphPicture)
        arguments += { "-metadata", "METADATA_BLOCK_PICTURE=" + xiphPicture(contents(path("cover.png"))) };
    if (c.cover == Cover::attachment)
        arguments += { "-attach", path("cover.png"), "-metadata:s:t", "mimetype=image/png" };
    arguments += { "-ac", QString::number(c.channels) };
    arguments += { "-metadata", "title=Tag Title", "-metadata", "artist=Tag Artist", "-metadata", "album=Tag Album",
        "-metadata", "date=2004-05-17", "-metadata", QStringLiteral("genre=%1").arg(c.genre) };
    const QString name = QStringLiteral("Name Artist - Name Title (1999).") + c.name;
    ASSERT_TRUE(generate(arguments + c.tagOptions, path(name)));
    addCover(c.cover, path(name), contents(path("cover.png")));

    const TrackInfo info = read(name);
    EXPECT_EQ(info.url, url(name));
    EXPECT_FALSE(info.isLoading);
    EXPECT_EQ(info.title, "Tag Title");
    EXPECT_EQ(info.artist, "Tag Artist");
    EXPECT_EQ(info.album, "Tag Album");
    EXPECT_EQ(info.year, "2004");
    EXPECT_EQ(info.genre, c.genre);
    EXPECT_EQ(info.fileSize, QFileInfo(path(name)).size());
    if (c.cover != Cover::none)
        EXPECT_EQ(info.artwork, contents(path("cover.png")));
    else
        EXPECT_EQ(info.artwork, std::nullopt);

    EXPECT_EQ(info.sampleRate, c.sampleRate);
    EXPECT_EQ(info.channels, c.channels);
    ASSERT_TRUE(info.duration);
    EXPECT_NEAR(*info.duration, 1.0, 0.08);
    ASSERT_TRUE(info.bitRate);
    EXPECT_GT(*info.bitRate, 8000);

    const StreamInfo stream = MediaTrackInfoReader().readStream(url(name));
    EXPECT_EQ(stream, (StreamInfo { info.duration, info.bitRate, info.sampleRate, info.channels }));
}

const QStringList id3v23 { "-id3v2_version", "3" };
const QStringList id3Chunk { "-write_id3v2", "1" };

INSTANTIATE_TEST_SUITE_P(MediaTrackInfoReader, EveryFormat,
    ::testing::Values(
        FormatCase { "mp3", 44100, 2, id3v23, Cover::attachedPicture, "(17)" },
        FormatCase { "wav", 48000, 1, {}, Cover::none, "Folk" },
        FormatCase { "aiff", 44100, 1, id3Chunk, Cover::attachedPicture, "(17)" },
        FormatCase { "aif", 48000, 2, id3Chunk, Cover::none, "Jazz" },
        FormatCase { "m4a", 48000, 2, {}, Cover::attachedPicture, "(17)" },
        FormatCase { "aac", 44100, 1, id3Chunk, Cover::none, "(17)" },
        FormatCase { "flac", 48000, 1, {}, Cover::attachedPicture, "Folk" },
        FormatCase { "ogg", 44100, 2, { "-c:a", "libvorbis" }, Cover::xiphPicture, "Folk" },
        FormatCase { "opus", 48000, 2, { "-b:a", "64k", "-vbr", "off" }, Cover::xiphPicture, "Jazz" },
        FormatCase { "oga", 48000, 1, { "-c:a", "flac" }, Cover::none, "Folk" },
        FormatCase { "wv", 44100, 2, { "-metadata", "Year=2004" }, Cover::apeItem, "Folk" },
        FormatCase { "tta", 48000, 2, {}, Cover::none, "Jazz" },
        FormatCase { "wma", 44100, 2, { "-b:a", "128k", "-metadata", "WM/Year=2004" }, Cover::asfPicture, "Folk" },
        FormatCase { "mka", 48000, 2, { "-c:a", "flac" }, Cover::attachment, "Folk" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MediaTrackInfoReaderTest, WithoutTagsTheNameStays)
{
    ASSERT_TRUE(generate(sine(44100, 2) + withoutTags(), path("Name Artist - Name Title (1999).flac")));
    const TrackInfo info = read("Name Artist - Name Title (1999).flac");
    EXPECT_EQ(info.title, "Name Title");
    EXPECT_EQ(info.artist, "Name Artist");
    EXPECT_EQ(info.year, "1999");
    EXPECT_FALSE(info.isLoading);
}

TEST_F(MediaTrackInfoReaderTest, TwoDigitYearAndBlankTitle)
{
    ASSERT_TRUE(generate(sine(44100, 2) + withoutTags() + QStringList { "-metadata", "date=99", "-metadata", "title=   " },
        path("Name Title.m4a")));
    const TrackInfo info = read("Name Title.m4a");
    EXPECT_EQ(info.year, "99");
    EXPECT_EQ(info.title, "Name Title");
}

TEST_F(MediaTrackInfoReaderTest, TheLaterOfTwoYearFramesWins)
{
    wrapPlainMp3("date-then-year.mp3", Id3v24().text("TDRC", "2004-05-17").text("TYER", "1999").bytes());
    wrapPlainMp3("year-then-date.mp3", Id3v24().text("TYER", "1999").text("TDRC", "2004-05-17").bytes());
    EXPECT_EQ(read("date-then-year.mp3").year, "1999");
    EXPECT_EQ(read("year-then-date.mp3").year, "2004");
}

TEST_F(MediaTrackInfoReaderTest, Id3v2OutranksId3v1)
{
    wrapPlainMp3("both.mp3", Id3v24().text("TIT2", "Version Two").text("TDRC", "2004").bytes(), id3v1("Version One", "1999"));
    wrapPlainMp3("v1.mp3", {}, id3v1("Version One", "1999"));
    EXPECT_EQ(read("both.mp3").title, "Version Two");
    EXPECT_EQ(read("both.mp3").year, "2004");
    EXPECT_EQ(read("v1.mp3").title, "Version One");
    EXPECT_EQ(read("v1.mp3").year, "1999");
}

TEST_F(MediaTrackInfoReaderTest, ArtworkAboveTheCapIsLeftOut)
{
    const QByteArray small(1000, 'x');
    const QByteArray huge(FileTags::maximumArtworkBytes + 1, 'y');
    wrapPlainMp3("small.mp3", Id3v24().picture(small).bytes());
    wrapPlainMp3("huge.mp3", Id3v24().text("TIT2", "Still Read").picture(huge).bytes());
    EXPECT_EQ(read("small.mp3").artwork, small);
    EXPECT_EQ(read("huge.mp3").artwork, std::nullopt);
    EXPECT_EQ(read("huge.mp3").title, "Still Read");
}

TEST_F(MediaTrackInfoReaderTest, UnreadableFilesGiveThePlaceholderAndNoStream)
{
    ASSERT_TRUE(writeFile(path("Artist - Words.mp3"), "only words, no audio\n"));
    TrackInfo expected = TrackInfo::placeholder(url("Artist - Words.mp3"));
    expected.isLoading = false;
    expected.fileSize = 21;
    EXPECT_EQ(read("Artist - Words.mp3"), expected);
    EXPECT_EQ(MediaTrackInfoReader().readStream(url("Artist - Words.mp3")), StreamInfo {});

    TrackInfo missing = read("missing.flac");
    EXPECT_EQ(missing.fileSize, std::nullopt);
    EXPECT_EQ(missing.title, "missing");
    EXPECT_EQ(MediaTrackInfoReader().readStream(url("missing.flac")), StreamInfo {});
}

TEST_F(MediaTrackInfoReaderTest, AFifoIsNeitherOpenedNorWaitedOn)
{
    const test::Fifo fifo(QFile::encodeName(path("Artist - Pipe.mp3")).toStdString());
    TrackInfo info;
    StreamInfo stream;
    stream.duration = 1;
    EXPECT_TRUE(fifo.returnsInTime([&] { info = read("Artist - Pipe.mp3"); }));
    EXPECT_TRUE(fifo.returnsInTime([&] { stream = MediaTrackInfoReader().readStream(url("Artist - Pipe.mp3")); }));
    TrackInfo expected = TrackInfo::placeholder(url("Artist - Pipe.mp3"));
    expected.isLoading = false;
    EXPECT_EQ(info, expected);
    EXPECT_EQ(stream, StreamInfo {});
}

TEST_F(MediaTrackInfoReaderTest, ReportsUnderThePlaylistUrlWhatTheCopySays)
{
    ASSERT_TRUE(generate(sine(44100, 2) + QStringList { "-metadata", "title=Copied" }, path("copy.flac")));
    const FileURL playlistUrl("/mnt/share/Artist - Song.flac");
    const TrackInfo info = MediaTrackInfoReader().readInfo(playlistUrl, url("copy.flac"));
    EXPECT_EQ(info.url, playlistUrl);
    EXPECT_EQ(info.title, "Copied");
    EXPECT_EQ(info.artist, "Artist");
    EXPECT_EQ(info.fileSize, QFileInfo(path("copy.flac")).size());
}

TEST_F(MediaTrackInfoReaderTest, AFileWithoutAudioHasNoStream)
{
    ASSERT_TRUE(generate({ "-f", "lavfi", "-i", "color=c=blue:s=16x16:d=1", "-c:v", "mpeg4", "-f", "mp4" }, path("video.m4a")));
    EXPECT_EQ(MediaTrackInfoReader().readStream(url("video.m4a")), StreamInfo {});
}

} // namespace
} // namespace lh
