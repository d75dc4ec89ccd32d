#include "ControllerFixture.h"

#include "PlaylistStore.h"

#include <QFile>

#include <gtest/gtest.h>

namespace lh::test {
namespace {

// A row as a line, so a difference reads as one.
std::vector<std::string> described(const std::vector<Track>& tracks)
{
    std::vector<std::string> lines;
    for (const Track& track : tracks) {
        lines.push_back(track.url.path() + " " + std::to_string(track.start) + "-" + std::to_string(track.end.value_or(-1)) + " "
            + track.title.value_or("(whole)").toStdString() + (track.isRemote ? " remote" : "")
            + (track.isFromEmbeddedSheet ? " embedded" : "") + (track.sheet ? " sheet " + track.sheet->path() : "")
            + (track.gains.isEmpty() ? "" : " gains"));
    }
    return lines;
}

// Rows of every kind: whole files, the cue tracks of a sheet file, the tracks of a sheet inside
// an image, and a file on a share.
class Export : public ControllerTest {
protected:
    Export()
    {
        sheets["/m/album.cue"] = "PERFORMER \"Band\"\nFILE \"album.wav\" WAVE\nTRACK 01 AUDIO\nTITLE \"One\"\nINDEX 01 00:00:00\n"
                                 "TRACK 02 AUDIO\nTITLE \"Two\"\nREM REPLAYGAIN_TRACK_GAIN -3.5 dB\nINDEX 01 01:00:00\n";
        folders["/m"] = { "album.cue", "album.flac", "a.flac", "image.flac", "b.flac" };
        folders["/share"] = { "c.flac" };
        reader->embeddedSheets["/m/image.flac"] = "TITLE \"Image\"\nFILE \"CDImage.wav\" WAVE\n"
                                                  "TRACK 01 AUDIO\nTITLE \"Uno\"\nINDEX 01 00:00:00\n"
                                                  "TRACK 02 AUDIO\nTITLE \"Dos\"\nINDEX 01 01:00:00\n";
    }

    // Writes the playlist to `path`; the reason it failed, or nothing.
    std::optional<QString> exportTo(const std::string& path, PlaylistFile::Format format)
    {
        std::optional<QString> error = QStringLiteral("never answered");
        perform(ExportPlaylistCommand(FileURL(path), format, [&](const std::optional<QString>& outcome) { error = outcome; }));
        settle();
        return error;
    }

    // A player that starts with an empty playlist and opens `path`, whose bytes the fakes now serve.
    std::vector<Track> reopened(const std::string& path)
    {
        QFile written(QString::fromStdString(path));
        EXPECT_TRUE(written.open(QIODevice::ReadOnly));
        sheets[path] = written.readAll().toStdString();
        folders[FileURL(path).deletingLastPathComponent().path()] = { FileURL(path).lastPathComponent() };
        stopPlayer();
        start();
        EXPECT_TRUE(model.tracks.value().empty());
        perform(AddTracksCommand({ FileURL(path) }));
        settle();
        return std::vector<Track>(model.tracks.value().begin(), model.tracks.value().end());
    }

    // Gone with what it knew: its playlist and its files' descriptions.
    void stopPlayer()
    {
        controller.reset();
        settle();
        PlaylistStore(*defaults, QStringLiteral("savedPlaylist")).save({});
        model.streamInfo.set({});
        model.fileStates.set({});
    }

    std::string folder() const { return QFile::encodeName(dir.path()).toStdString(); }
};

TEST_F(Export, EachFormatReopensIntoTheSameRowsInTheSameOrder)
{
    const struct {
        const char* name;
        PlaylistFile::Format format;
    } formats[] = { { "list.m3u8", PlaylistFile::Format::m3u8 }, { "list.pls", PlaylistFile::Format::pls },
        { "list.xspf", PlaylistFile::Format::xspf } };
    for (const auto& [name, format] : formats) {
        SCOPED_TRACE(name);
        start();
        perform(AddTracksCommand({ url("/m/a.flac"), url("/m/album.cue"), url("/m/image.flac"), url("/share/c.flac"), url("/m/b.flac") }));
        settle();
        const std::vector<Track> rows(model.tracks.value().begin(), model.tracks.value().end());
        ASSERT_EQ(rows.size(), 7u);
        ASSERT_TRUE(rows[3].isFromEmbeddedSheet);
        ASSERT_TRUE(rows[5].isRemote);

        const std::string path = folder() + "/" + name;
        EXPECT_EQ(exportTo(path, format), std::nullopt);
        const std::vector<Track> reread = reopened(path);
        EXPECT_EQ(described(reread), described(rows));
        EXPECT_EQ(reread, rows);
        stopPlayer();
    }
}

TEST_F(Export, AListThatCannotBeWrittenSaysWhyAndLeavesNoFile)
{
    start();
    perform(AddTracksCommand({ url("/m/a.flac") }));
    const std::string path = folder() + "/missing/list.m3u8";
    const std::optional<QString> error = exportTo(path, PlaylistFile::Format::m3u8);
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
}

// The share the list goes to stops answering: the user hears so once the watchdog gives up.
TEST_F(Export, AWriteThatStallsIsReportedAsFailed)
{
    start();
    perform(AddTracksCommand({ url("/m/a.flac") }));
    std::optional<QString> error;
    perform(ExportPlaylistCommand(FileURL(folder() + "/list.m3u8"), PlaylistFile::Format::m3u8,
        [&](const std::optional<QString>& outcome) { error = outcome; }));
    ASSERT_EQ(watchdogs.size(), 1u);
    stallNow += stallLimit + std::chrono::seconds(1); // the write never starts
    EXPECT_FALSE(watchdogs.front()());
    mainThread.runAll();
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, QStringLiteral("the folder stopped answering"));
}

} // namespace
} // namespace lh::test
