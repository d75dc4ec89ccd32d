#include "ReplayGain.h"

#include "AudioFixture.h"
#include "MediaTrackInfoReader.h"

#include <QTemporaryDir>

#include <taglib/mp4file.h>

#include <gtest/gtest.h>

#include <cmath>

namespace lh {
namespace {

using Mode = ReplayGainMode;

TEST(ReplayGain, ParsesLenientlyAndRefusesNonsense)
{
    const struct {
        const char* text;
        std::optional<float> gain;
    } cases[] = {
        { "-6.54 dB", -6.54f }, { "-6.54", -6.54f }, { " +3,25 DB ", 3.25f }, { "64", 64.0f },
        { "-64.5 dB", std::nullopt }, { "nan", std::nullopt }, { "inf dB", std::nullopt }, { "loud", std::nullopt },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto gain = ReplayGain::parseGain(QString::fromUtf8(c.text));
        ASSERT_EQ(gain.has_value(), c.gain.has_value());
        if (gain) {
            EXPECT_FLOAT_EQ(*gain, *c.gain);
        }
    }
    EXPECT_EQ(ReplayGain::parsePeak("0,988"), 0.988f);
    EXPECT_EQ(ReplayGain::parsePeak("-1"), std::nullopt);
    // Q7.8 towards −23 LUFS: −1280 is −5 dB there, the ReplayGain reference itself.
    EXPECT_EQ(ReplayGain::parseR128("-1280"), 0.0f);
    EXPECT_EQ(ReplayGain::parseR128("512"), 7.0f);
    EXPECT_EQ(ReplayGain::parseR128("40000"), std::nullopt);
}

TEST(ReplayGain, FactorFollowsModeFallbackAndPeak)
{
    const ReplayGain both { -6.0f, 0.5f, -8.0f, 0.9f };
    const ReplayGain trackOnly { -4.0f, std::nullopt, std::nullopt, std::nullopt };
    const ReplayGain albumOnly { std::nullopt, std::nullopt, -3.0f, std::nullopt };
    const ReplayGain loudPeak { 9.0f, 0.5f, 12.0f, 0.8f }; // lifts would clip at 6.02 and 1.94 dB
    const CueGains sheetTrack(-7.0f, std::nullopt, std::nullopt, std::nullopt);
    const CueGains loudSheetTrack(9.0f, 0.5f, std::nullopt, std::nullopt);
    const CueGains sheetAlbum(std::nullopt, std::nullopt, -9.0f, std::nullopt);
    const struct {
        const char* name;
        ReplayGain gain;
        Mode mode;
        float decibels;
    } cases[] = {
        { "off ignores tags", both, Mode::off, 0 },
        { "track", both, Mode::track, -6 },
        { "album", both, Mode::album, -8 },
        { "album falls back to track", trackOnly, Mode::album, -4 },
        { "track has no fallback", albumOnly, Mode::track, 0 },
        { "untagged", {}, Mode::album, 0 },
        { "track clipped by its peak", loudPeak, Mode::track, -20 * std::log10(0.5f) },
        { "album clipped by its peak", loudPeak, Mode::album, -20 * std::log10(0.8f) },
        { "whole image gain of a cue track is its album gain", trackOnly.forCueTrack({}), Mode::album, -4 },
        { "cue track without a gain of its own plays as the image", trackOnly.forCueTrack({}), Mode::track, -4 },
        { "cue track keeps a real album gain", both.forCueTrack({}), Mode::album, -8 },
        { "cue track of an image without a track gain plays as its whole-file row", albumOnly.forCueTrack({}), Mode::track, 0 },
        { "cue track's own gain from its sheet", trackOnly.forCueTrack(sheetTrack), Mode::track, -7 },
        { "cue track's own gain leaves the album's", trackOnly.forCueTrack(sheetTrack), Mode::album, -4 },
        { "cue track's own peak", trackOnly.forCueTrack(loudSheetTrack), Mode::track,
            float(-20 * std::log10(*loudSheetTrack.trackPeak())) },
        { "untagged image takes the sheet's album gain", ReplayGain {}.forCueTrack(sheetAlbum), Mode::track, -9 },
        { "untagged image's album gain from its sheet", ReplayGain {}.forCueTrack(sheetAlbum), Mode::album, -9 },
        { "the file's tags before the sheet's album line", both.forCueTrack(sheetAlbum), Mode::album, -8 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(c.gain.factor(c.mode), std::pow(10.0f, c.decibels / 20), 1e-6);
    }
    EXPECT_NEAR(ReplayGain {}.factor(Mode::track, -6.0f), 0.501187f, 1e-6); // the untagged pre-amp
}

class ReplayGainFileTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return folder_.path() + "/" + name; }

    QTemporaryDir folder_;
};

// Each tag style as taggers write it: Xiph comments, ID3v2 TXXX, APEv2, MP4 freeform atoms
// (ffmpeg writes none, TagLib does) and Opus's R128 comments.
TEST_F(ReplayGainFileTest, ReadsEveryTagStyle)
{
    const QStringList tone { "-f", "lavfi", "-i", "sine=duration=0.3" };
    const QStringList tags { "-metadata", "REPLAYGAIN_TRACK_GAIN=-6.54 dB", "-metadata", "REPLAYGAIN_TRACK_PEAK=0.988",
        "-metadata", "replaygain_album_gain=-7,1", "-metadata", "REPLAYGAIN_ALBUM_PEAK=1.02" };
    const ReplayGain tagged { -6.54f, 0.988f, -7.1f, 1.02f };
    const struct {
        const char* name;
        QStringList arguments;
        ReplayGain expected;
    } cases[] = {
        { "xiph.flac", tone + tags, tagged },
        { "xiph.ogg", tone + tags, tagged },
        { "txxx.mp3", tone + tags, tagged },
        { "ape.wv", tone + tags, tagged },
        { "freeform.m4a", tone, tagged },
        { "r128.opus", tone + QStringList { "-metadata", "R128_TRACK_GAIN=-2560", "-metadata", "R128_ALBUM_GAIN=256" },
            { 0 - 5.0f, std::nullopt, 6.0f, std::nullopt } },
        { "nonsense.flac", tone + QStringList { "-metadata", "REPLAYGAIN_TRACK_GAIN=-99 dB", "-metadata", "REPLAYGAIN_TRACK_PEAK=nan" }, {} },
        { "untagged.mp3", tone, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(test::AudioFixture::generate(c.arguments, path(c.name)));
        if (QString(c.name).endsWith(".m4a")) {
            TagLib::MP4::File file(path(c.name).toUtf8().constData());
            const auto set = [&](const char* name, const char* value) {
                file.tag()->setItem(TagLib::String("----:com.apple.iTunes:") + name, TagLib::StringList(value));
            };
            set("replaygain_track_gain", "-6.54 dB");
            set("replaygain_track_peak", "0.988");
            set("replaygain_album_gain", "-7.10 dB");
            set("replaygain_album_peak", "1.02");
            ASSERT_TRUE(file.save());
        }
        const StreamInfo info = MediaTrackInfoReader().readStream(FileURL::fromLocalFile(path(c.name)));
        EXPECT_EQ(info.replayGain, c.expected);
        const TrackInfo full = MediaTrackInfoReader().readInfo(FileURL("/playlist/song"), FileURL::fromLocalFile(path(c.name)));
        EXPECT_EQ(full.replayGain, c.expected);
    }
}

} // namespace
} // namespace lh
