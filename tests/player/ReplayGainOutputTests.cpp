#include "AudioFixture.h"
#include "SdlOutput.h"
#include "AudioPlayerEngine.h"
#include "CapturedOutput.h"
#include "EventLoop.h"
#include "MediaTrackInfoReader.h"
#include "NetworkFiles.h"
#include "PlayerController.h"
#include "Preferences.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace lh::test {
namespace {

using namespace std::chrono_literals;

// An album image of three sections of 0.6 s: loud, 6 dB quieter, loud again. Its tags measure
// the whole image (−4 dB) and the album it belongs to (−5 dB); its sheet gives the first two
// tracks gains of their own that bring them to one level, and the third none.
constexpr int rate = 44100;
constexpr double section = 0.6;
const double sectionLevels[] = { 0.5, 0.25, 0.5 };
const char* const sheet = "REM REPLAYGAIN_ALBUM_GAIN -5.00 dB\n"
                          "REM REPLAYGAIN_ALBUM_PEAK 0.500000\n"
                          "PERFORMER \"Band\"\nTITLE \"Album\"\nFILE \"image.flac\" WAVE\n"
                          "  TRACK 01 AUDIO\n    TITLE \"Loud\"\n"
                          "    REM REPLAYGAIN_TRACK_GAIN -6.00 dB\n    REM REPLAYGAIN_TRACK_PEAK 0.500000\n"
                          "    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    TITLE \"Quiet\"\n"
                          "    REM REPLAYGAIN_TRACK_GAIN +0.00 dB\n    REM REPLAYGAIN_TRACK_PEAK 0.250000\n"
                          "    INDEX 01 00:00:45\n"
                          "  TRACK 03 AUDIO\n    TITLE \"Untagged\"\n    INDEX 01 00:01:15\n";

enum class SheetKind { beside, inside };

class ReplayGainOutput : public CapturedOutput, public ::testing::WithParamInterface<SheetKind> {
protected:
    void SetUp() override
    {
        CapturedOutput::SetUp();
        image = dir.path() + "/image.flac";
        const QString channel = "0.5*sin(2*PI*440*t)*if(between(t,0.6,1.2),0.5,1)";
        const QStringList tone { "-f", "lavfi", "-i", "aevalsrc=exprs='" + channel + "|" + channel + "':s=44100:d=1.8" };
        const QStringList tags { "-metadata", "REPLAYGAIN_TRACK_GAIN=-4.00 dB", "-metadata", "REPLAYGAIN_TRACK_PEAK=0.5",
            "-metadata", "REPLAYGAIN_ALBUM_GAIN=-5.00 dB", "-metadata", "REPLAYGAIN_ALBUM_PEAK=0.5" };
        ASSERT_TRUE(AudioFixture::generate(tone + tags, image));
        if (GetParam() == SheetKind::beside) {
            QFile file(dir.path() + "/image.cue");
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(sheet);
            split = { FileURL::fromLocalFile(file.fileName()) };
        } else {
            const QString inside = dir.path() + "/inside.flac";
            ASSERT_TRUE(AudioFixture::generate(tone + tags + QStringList { "-metadata", QString("CUESHEET=") + sheet }, inside));
            split = { FileURL::fromLocalFile(inside) };
        }
    }

    // What a fresh player plays of `added` (which become `rows` rows) from the first row to the
    // image's end in `mode`: each section's level in dB relative to the image's own.
    std::vector<double> heardLevels(const std::vector<FileURL>& added, std::size_t rows, ReplayGainMode mode)
    {
        {
            Preferences defaults(dir.path() + QStringLiteral("/preferences-%1.json").arg(++player));
            AudioFileCache cache(FileURL(dir.path().toStdString() + "/cache", true), 1'000'000'000);
            PlayerModel model;
            AudioPlayerEngine engine;
            PlayerController controller(model, engine, std::make_shared<MediaTrackInfoReader>(), cache,
                std::make_shared<NetworkFiles>(), 2s, defaults, QStringLiteral("savedPlaylist"));
            controller.perform(SetVolumeCommand(1));
            controller.perform(ShowRowsCommand(0, 10));
            controller.perform(SetReplayGainModeCommand(mode));
            controller.perform(AddTracksCommand(added));
            // The gains are known before the first frame plays: the description has been read.
            EXPECT_TRUE(runEventsUntil([&] {
                return model.tracks.value().size() == rows && !model.streamInfo.value().empty();
            }, 10s));
            controller.perform(PlayTrackCommand(0));
            EXPECT_TRUE(runEventsUntil([&] {
                return model.currentIndex.value() == std::int64_t(rows) - 1 && engine.currentTime() > 3 * section - 0.1;
            }, 10s));
        }
        EXPECT_TRUE(runEventsUntil([] { return !SdlOutput::isClosingDevices(); }, 5s));
        const std::vector<float> output = heard();
        std::vector<double> levels;
        for (std::size_t i = 0; i < std::size(sectionLevels); ++i) {
            // The middle half of the section, clear of the joins and of the device's start.
            const auto first = std::size_t((i + 0.25) * section * rate);
            const auto last = std::size_t((i + 0.75) * section * rate);
            double energy = 0;
            for (std::size_t frame = first; frame < last && 2 * frame < output.size(); ++frame)
                energy += double(output[2 * frame]) * output[2 * frame];
            const double rms = std::sqrt(energy / double(last - first));
            levels.push_back(20 * std::log10(rms * std::sqrt(2.0) / sectionLevels[i]));
        }
        return levels;
    }

    QString image;
    std::vector<FileURL> split;
    int player = 0;
};

// One image sounds the same whole and split: in Album mode every track at the album's gain, in
// Track mode each track at its own gain from the sheet, and a track without one at the image's
// gain, as the whole-file row plays it.
TEST_P(ReplayGainOutput, AnImageSoundsAlikeWholeAndSplit)
{
    const std::vector<FileURL> whole { FileURL::fromLocalFile(image) };
    const struct {
        ReplayGainMode mode;
        std::vector<double> whole;
        std::vector<double> split;
    } cases[] = {
        { ReplayGainMode::album, { -5, -5, -5 }, { -5, -5, -5 } },
        { ReplayGainMode::track, { -4, -4, -4 }, { -6, 0, -4 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode == ReplayGainMode::album ? "album" : "track");
        const std::vector<double> wholeLevels = heardLevels(whole, 1, c.mode);
        const std::vector<double> splitLevels = heardLevels(split, 3, c.mode);
        for (std::size_t i = 0; i < std::size(sectionLevels); ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(wholeLevels[i], c.whole[i], 0.05);
            EXPECT_NEAR(splitLevels[i], c.split[i], 0.05);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sheets, ReplayGainOutput, ::testing::Values(SheetKind::beside, SheetKind::inside),
    [](const auto& info) { return info.param == SheetKind::beside ? "Beside" : "Inside"; });

} // namespace
} // namespace lh::test
