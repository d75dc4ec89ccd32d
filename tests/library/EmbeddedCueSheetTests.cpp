#include "EmbeddedCueSheet.h"

#include "AudioFixture.h"
#include "ChildProcess.h"
#include "TrackImporter.h"

#include <QFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lh {
namespace {

// Written for the image the ripper made, so its FILE line names a file that is not there.
const QString sheet = QStringLiteral("TITLE \"Szőlő\"\nPERFORMER \"Band\"\nFILE \"CDImage.wav\" WAVE\n"
                                     "  TRACK 01 AUDIO\n    TITLE \"Egy\"\n    INDEX 01 00:00:00\n"
                                     "  TRACK 02 AUDIO\n    TITLE \"Kettő\"\n    INDEX 01 00:04:00\n");

struct Expected {
    std::vector<QString> titles;
    std::optional<QString> artist;
    std::optional<QString> album;
};

class EmbeddedCueSheetFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : { "ffmpeg", "metaflac", "wavpack" }) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/setup-debian installs it)";
        }
        write("utf8.cue", sheet.toUtf8());
        write("cp1250.cue", QStringEncoder("windows-1250").encode(sheet));
        ASSERT_TRUE(test::AudioFixture::generate({ "-f", "lavfi", "-i", "anullsrc=r=44100:cl=stereo", "-t", "8" }, path("image.wav")));
        ASSERT_TRUE(test::AudioFixture::generate({ "-i", path("image.wav") }, path("image.flac")));
    }

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void write(const char* name, const QByteArray& bytes) const
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // A copy of the plain image with what `tool` adds to it.
    FileURL image(const char* name, std::vector<std::string> tool) const
    {
        const std::string target = QFile::encodeName(path(name)).toStdString();
        if (tool.front() == "metaflac") {
            QFile::copy(path("image.flac"), path(name));
            tool.push_back(target);
        } else {
            tool.insert(tool.end(), { QFile::encodeName(path("image.wav")).toStdString(), "-o", target });
        }
        EXPECT_TRUE(test::ChildProcess::run(tool)) << tool.front();
        return FileURL(target);
    }
    std::string at(const char* name) const { return "@" + QFile::encodeName(path(name)).toStdString(); }

    QTemporaryDir dir;
};

// Real images as taggers write them: the Vorbis comment, FLAC's CUESHEET block (offsets only,
// the file's artist stands in), both (the tag names the tracks), and WavPack's APEv2 item in
// UTF-8 and in a legacy code page. Every entry lies in the image, whatever FILE says.
TEST_F(EmbeddedCueSheetFiles, ImagesGiveTheirTracksWhicheverWayTheSheetIsStored)
{
    const std::string utf8 = QFile::encodeName(path("utf8.cue")).toStdString();
    const Expected named { { QStringLiteral("Egy"), QStringLiteral("Kettő") }, QStringLiteral("Band"), QStringLiteral("Szőlő") };
    const struct {
        const char* name;
        std::vector<std::string> tool;
        std::optional<Expected> expected;
    } cases[] = {
        { "tag.flac", { "metaflac", "--set-tag-from-file=CUESHEET=" + utf8 }, named },
        { "block.flac", { "metaflac", "--import-cuesheet-from=" + utf8, "--set-tag=ARTIST=Filer" },
            Expected { { QStringLiteral("Track 01"), QStringLiteral("Track 02") }, QStringLiteral("Filer"), std::nullopt } },
        { "both.flac", { "metaflac", "--import-cuesheet-from=" + utf8, "--set-tag-from-file=cuesheet=" + utf8 }, named },
        { "utf8.wv", { "wavpack", "-q", "-y", "-w", "Cuesheet=" + at("utf8.cue") }, named },
        { "cp1250.wv", { "wavpack", "-q", "-y", "--no-utf8-convert", "-w", "CUESHEET=" + at("cp1250.cue") }, named },
        { "none.flac", { "metaflac", "--set-tag=ARTIST=Filer" }, std::nullopt },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FileURL file = image(c.name, c.tool);
        const auto found = EmbeddedCueSheet::read(file);
        ASSERT_EQ(found.has_value(), c.expected.has_value());
        if (!found)
            continue;
        const auto tracks = TrackImporter::embeddedTracks(*found, file, false, 8.0);
        ASSERT_EQ(tracks.size(), 2u);
        EXPECT_EQ(std::vector({ *tracks[0].title, *tracks[1].title }), c.expected->titles);
        EXPECT_EQ(tracks[0].url, file);
        EXPECT_DOUBLE_EQ(tracks[1].start, 4.0);
        EXPECT_EQ(tracks[0].end, 4.0);
        EXPECT_EQ(tracks[1].end, std::nullopt);
        EXPECT_EQ(tracks[1].artist, c.expected->artist);
        EXPECT_EQ(tracks[1].album, c.expected->album);
    }
}

// The bytes of a FLAC file: the magic, a STREAMINFO block at 44.1 kHz, then `blocks`.
QByteArray flac(const QByteArray& blocks)
{
    QByteArray streamInfo(34, '\0');
    streamInfo[10] = char(0x0A), streamInfo[11] = char(0xC4), streamInfo[12] = char(0x42); // 44100 Hz, stereo
    return "fLaC" + QByteArray("\x00\x00\x00\x22", 4) + streamInfo + blocks;
}

QByteArray littleEndian(std::uint32_t value)
{
    const char bytes[] { char(value), char(value >> 8), char(value >> 16), char(value >> 24) };
    return QByteArray(bytes, 4);
}

// A last Vorbis comment block; `claimed` overrides the block's stated length.
QByteArray comment(const QByteArray& field, std::optional<std::uint32_t> claimed = std::nullopt)
{
    const QByteArray body = littleEndian(0) + littleEndian(1) + littleEndian(std::uint32_t(field.size())) + field;
    const std::uint32_t length = claimed.value_or(std::uint32_t(body.size()));
    const char header[] { char(0x84), char(length >> 16), char(length >> 8), char(length) }; // last block, type 4
    return QByteArray(header, 4) + body;
}

// An APEv2 tag at the end of the file holding one item.
QByteArray apeTag(const QByteArray& key, const QByteArray& value, std::uint32_t count = 1)
{
    const QByteArray item = littleEndian(std::uint32_t(value.size())) + littleEndian(0) + key + '\0' + value;
    return item + "APETAGEX" + littleEndian(2000) + littleEndian(std::uint32_t(item.size() + 32)) + littleEndian(count)
        + littleEndian(0) + QByteArray(8, '\0');
}

QByteArray entries(int count)
{
    QByteArray text = "FILE \"a.wav\" WAVE\n";
    for (int i = 0; i < count; ++i)
        text += QString::asprintf("TRACK %02d AUDIO\nINDEX 01 %02d:%02d:00\n", i + 1, i / 60, i % 60).toLatin1();
    return text;
}

// Tags from anywhere: each gives sensible tracks or none, and never reads out of bounds.
TEST(EmbeddedCueSheet, HostileTagsGiveNoSheet)
{
    const QByteArray twoTracks = entries(2);
    const struct {
        const char* name;
        QByteArray bytes;
        std::size_t tracks;
    } cases[] = {
        { "a sound comment", flac(comment("CUESHEET=" + twoTracks)), 2 },
        { "garbage in the comment", flac(comment("CUESHEET=\x01\xff\xfe garbage \x80")), 0 },
        { "a block claiming more than the file holds", flac(comment("CUESHEET=" + twoTracks, 0xFFFFFF)), 2 },
        { "a field longer than its block", flac(comment("CUESHEET=" + twoTracks).chopped(8)), 0 },
        { "a huge tag", flac(comment("CUESHEET=" + twoTracks + QByteArray(EmbeddedCueSheet::maximumSheetBytes, ' '))), 0 },
        { "thousands of entries", flac(comment("CUESHEET=" + entries(int(EmbeddedCueSheet::maximumEntries) + 1))), 0 },
        { "an APEv2 item", "RIFF" + apeTag("Cuesheet", twoTracks), 2 },
        { "an APEv2 tag claiming more items", "RIFF" + apeTag("Cuesheet", twoTracks, 0xFFFFFFFF), 2 },
        { "an APEv2 item past its tag", "RIFF" + littleEndian(1 << 30) + apeTag("Cuesheet", twoTracks).sliced(4), 0 },
        { "nothing but a magic", "fLaC", 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray& bytes = c.bytes;
        const auto readAt = [&](std::int64_t offset, std::int64_t length) {
            if (offset < 0 || offset >= bytes.size() || length <= 0)
                return QByteArray();
            return bytes.mid(qsizetype(offset), qsizetype(std::min<std::int64_t>(length, bytes.size() - offset)));
        };
        const auto found = EmbeddedCueSheet::read(readAt, bytes.size(), c.name);
        EXPECT_EQ(found ? found->tracks.size() : 0, c.tracks);
    }
}

} // namespace
} // namespace lh
