#include "AudioFixture.h"
#include "ControllerFixture.h"
#include "Fifo.h"
#include "MediaTrackInfoReader.h"
#include "PathEchoingReader.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace lh::test {
namespace {

enum class Unreadable { missing, notAudio, fifo };

// A reader a contract case can use, with files it can make: `audio` one that reads well,
// `unreadable` one of the kinds that must read as nothing. `promptly` runs a read that must
// come back even when the file is a FIFO nobody writes to.
struct RealReader {
    QTemporaryDir dir;
    MediaTrackInfoReader reader;
    std::vector<std::unique_ptr<Fifo>> fifos;

    FileURL audio(const std::string& name)
    {
        EXPECT_TRUE(AudioFixture::tone(QString::fromStdString(path(name)), 1.0));
        return FileURL(path(name));
    }
    FileURL unreadable(Unreadable kind, const std::string& name)
    {
        if (kind == Unreadable::notAudio) {
            QFile file(QString::fromStdString(path(name)));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write("only words, no audio\n") > 0);
        } else if (kind == Unreadable::fifo) {
            fifos.push_back(std::make_unique<Fifo>(path(name)));
        }
        return FileURL(path(name));
    }
    bool promptly(const std::function<void()>& read) const
    {
        if (fifos.empty()) {
            read();
            return true;
        }
        return fifos.back()->returnsInTime(read);
    }
    std::string path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }
};

template <class Fake>
struct FakeReaderOf {
    Fake reader;

    FileURL audio(const std::string& name) { return FileURL("/m/" + name); }
    FileURL unreadable(Unreadable, const std::string& name)
    {
        reader.unreadable.insert("/m/" + name);
        return FileURL("/m/" + name);
    }
    bool promptly(const std::function<void()>& read) const
    {
        read();
        return true;
    }
};

template <class Side>
class TrackInfoReadingContract : public ::testing::Test {
protected:
    Side side;
    const TrackInfoReading& reader() const { return side.reader; }
};

using Readers = ::testing::Types<RealReader, FakeReaderOf<FakeReader>, FakeReaderOf<PathEchoingReader>>;
TYPED_TEST_SUITE(TrackInfoReadingContract, Readers);

// A network file is read from its cached copy and reported under its playlist URL.
TYPED_TEST(TrackInfoReadingContract, AnAudioFileIsReportedUnderThePlaylistUrl)
{
    const FileURL file = this->side.audio("copy.flac");
    const FileURL url("/mnt/share/Artist - Song.flac");
    const TrackInfo info = this->reader().readInfo(url, file);
    EXPECT_EQ(info.url, url);
    EXPECT_FALSE(info.isLoading);
    EXPECT_TRUE(info.duration.has_value());
    EXPECT_TRUE(this->reader().readStream(file).duration.has_value());
    EXPECT_EQ(this->reader().readTags(url, file).url, url);
    EXPECT_EQ(this->reader().readCueSheet(file), std::nullopt);
}

TYPED_TEST(TrackInfoReadingContract, WhatCannotBeReadIsThePlaceholderAndNothingElse)
{
    for (const Unreadable kind : { Unreadable::missing, Unreadable::notAudio, Unreadable::fifo }) {
        SCOPED_TRACE(static_cast<int>(kind));
        const FileURL file = this->side.unreadable(kind, "Artist - Title " + std::to_string(static_cast<int>(kind)) + ".flac");
        TrackInfo info;
        StreamInfo stream;
        MediaTags tags;
        std::optional<CueSheet> sheet;
        EXPECT_TRUE(this->side.promptly([&] { info = this->reader().readInfo(file, file); }));
        EXPECT_TRUE(this->side.promptly([&] { stream = this->reader().readStream(file); }));
        EXPECT_TRUE(this->side.promptly([&] { tags = this->reader().readTags(file, file); }));
        EXPECT_TRUE(this->side.promptly([&] { sheet = this->reader().readCueSheet(file); }));
        TrackInfo expected = TrackInfo::placeholder(file);
        expected.isLoading = false;
        info.fileSize = std::nullopt; // a file that is there may say how large it is
        EXPECT_EQ(info, expected);
        EXPECT_EQ(stream, StreamInfo {});
        MediaTags nothing;
        nothing.url = file;
        EXPECT_EQ(tags, nothing);
        EXPECT_EQ(sheet, std::nullopt);
    }
}

// Readers are shared by the background threads; under ThreadSanitizer this also finds a
// reader whose reads race on its state.
TYPED_TEST(TrackInfoReadingContract, ReadsFromSeveralThreadsAtOnceAgree)
{
    const FileURL file = this->side.audio("shared.flac");
    const TrackInfo alone = this->reader().readInfo(file, file);
    std::vector<TrackInfo> read(2);
    std::vector<std::thread> threads;
    for (TrackInfo& each : read)
        threads.emplace_back([&] {
            (void)this->reader().readStream(file);
            each = this->reader().readInfo(file, file);
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(read, std::vector<TrackInfo>(2, alone));
}

} // namespace
} // namespace lh::test
