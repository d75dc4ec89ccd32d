#include "ControllerFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lh::test {
namespace {

using Settings = ControllerTest;

TEST_F(Settings, AFreshInstallStartsWithTheDefaults)
{
    start();
    EXPECT_FLOAT_EQ(model.volume.value(), 0.8f);
    EXPECT_FLOAT_EQ(engine.volume(), 0.8f);
    EXPECT_FALSE(model.isShuffled.value());
    EXPECT_TRUE(model.isRepeating.value());
    EXPECT_FALSE(model.isDimmed.value());
    EXPECT_FALSE(model.sleepTimeRemaining.value());
}

struct VolumeCase {
    float from;
    float requested; // set, or added when `isChange`
    bool isChange;
    float expected;
};

class VolumeClamping : public ControllerTest, public ::testing::WithParamInterface<VolumeCase> { };

TEST_P(VolumeClamping, TheStoredVolumeIsTheClampedOne)
{
    const VolumeCase c = GetParam();
    start();
    perform(SetVolumeCommand(c.from));
    if (c.isChange)
        perform(ChangeVolumeCommand(c.requested));
    else
        perform(SetVolumeCommand(c.requested));
    EXPECT_FLOAT_EQ(model.volume.value(), c.expected);
    EXPECT_FLOAT_EQ(engine.volume(), c.expected);
    EXPECT_EQ(defaults->object("volume"), QJsonValue(static_cast<double>(c.expected)));
}

INSTANTIATE_TEST_SUITE_P(Settings, VolumeClamping,
    ::testing::Values(VolumeCase { 0.5f, 1.7f, false, 1.0f }, VolumeCase { 0.5f, -3.0f, false, 0.0f },
        VolumeCase { 0.95f, 0.1f, true, 1.0f }, VolumeCase { 0.05f, -0.1f, true, 0.0f },
        VolumeCase { 0.5f, 0.25f, false, 0.25f },
        VolumeCase { 0.5f, std::numeric_limits<float>::quiet_NaN(), false, 0.0f }));

TEST_F(Settings, DimmingPlaysAtATenthWithoutTouchingTheVolumeSetting)
{
    start();
    perform(ToggleDimCommand());
    EXPECT_FLOAT_EQ(engine.volume(), 0.08f);
    EXPECT_FLOAT_EQ(model.volume.value(), 0.8f);
    perform(SetVolumeCommand(0.5f));
    EXPECT_FLOAT_EQ(engine.volume(), 0.05f);
    perform(ToggleDimCommand());
    EXPECT_FLOAT_EQ(engine.volume(), 0.5f);
    EXPECT_FALSE(defaults->object("dim"));
}

TEST_F(Settings, ShuffleRepeatAndVolumeSurviveARelaunchButDimmingDoesNot)
{
    start();
    perform(ToggleRepeatCommand());
    perform(ToggleShuffleCommand());
    perform(ToggleDimCommand());
    perform(SetVolumeCommand(0.3f));
    controller.reset();
    model.isDimmed.set(false);
    model.volume.set(0.8f);
    start();
    EXPECT_FALSE(model.isRepeating.value());
    EXPECT_TRUE(model.isShuffled.value());
    EXPECT_FLOAT_EQ(model.volume.value(), 0.3f);
    EXPECT_FLOAT_EQ(engine.volume(), 0.3f);
}

// The device chosen reaches the engine and is remembered by name; one remembered but not
// among the server's is played around (the default, said once) and stays remembered.
TEST_F(Settings, TheOutputDeviceIsRememberedByNameAndAMissingOneFallsBackToTheDefault)
{
    start();
    EXPECT_EQ(engine.outputDevice, "") << "the server's default at first";
    ASSERT_TRUE(engine.onDevices);
    const std::vector<OutputDevice> both { { "speakers", "Built-in Audio" }, { "usb", "USB DAC" } };
    engine.onDevices(both);
    EXPECT_EQ(model.outputDevices.value(), both);
    perform(SetOutputDeviceCommand("usb"));
    EXPECT_EQ(engine.outputDevice, "usb");
    EXPECT_EQ(model.outputDevice.value(), "usb");

    struct Relaunch {
        std::vector<OutputDevice> devices;
        std::string shown;
        bool isSaid;
    };
    for (const Relaunch& relaunch : { Relaunch { both, "usb", false }, Relaunch { { both[0] }, "", true } }) {
        controller.reset();
        start();
        EXPECT_EQ(engine.outputDevice, "usb");
        ::testing::internal::CaptureStderr();
        engine.onDevices(relaunch.devices);
        engine.onDevices(relaunch.devices);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(model.outputDevice.value(), relaunch.shown);
        EXPECT_EQ(engine.outputDevice, relaunch.shown);
        EXPECT_EQ(said, relaunch.isSaid ? "larkhaven: the output device usb is not there; playing to the default one\n" : "");
        EXPECT_EQ(defaults->object("outputDevice"), QJsonValue("usb"));
    }
    perform(SetOutputDeviceCommand(""));
    EXPECT_EQ(engine.outputDevice, "");
    EXPECT_EQ(defaults->object("outputDevice"), QJsonValue(""));
}

float decibels(float gain)
{
    return 20 * std::log10(gain);
}

// The mode applies to the track playing, the one armed to follow, and survives a relaunch;
// Album falls back to the track gain, and a cue track takes the image's whole gain as album gain
// and, without a gain of its own, as track gain.
TEST_F(Settings, ReplayGainModeReachesTheEngineAndSurvivesARelaunch)
{
    reader->gains["a.flac"] = ReplayGain { -6.0f, std::nullopt, -8.0f, std::nullopt };
    reader->gains["b.flac"] = ReplayGain { -4.0f, std::nullopt, std::nullopt, std::nullopt };
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac"), cueTrack("/m/b.flac", 0, 50, "Cue") });
    settle();
    perform(PlayTrackCommand(0));
    EXPECT_FLOAT_EQ(engine.gain, 1) << "off by default";

    perform(SetReplayGainModeCommand(ReplayGainMode::album));
    EXPECT_FLOAT_EQ(decibels(engine.gain), -8);
    EXPECT_EQ(defaults->object("replayGain"), QJsonValue("album"));
    engine.time = 96;
    timers.fire(PlayerController::playbackTickInterval);
    mainThread.runAll();
    ASSERT_TRUE(engine.continuation);
    EXPECT_FLOAT_EQ(decibels(engine.continuation->gain), -4);

    perform(SetReplayGainModeCommand(ReplayGainMode::track));
    EXPECT_FLOAT_EQ(decibels(engine.gain), -6);
    perform(PlayTrackCommand(2));
    EXPECT_FLOAT_EQ(decibels(engine.gain), -4) << "a cue track without a gain of its own plays as its image";

    controller.reset();
    start();
    EXPECT_EQ(model.replayGainMode.value(), ReplayGainMode::track);
    defaults->set(QStringLiteral("loudest"), "replayGain");
    controller.reset();
    start();
    EXPECT_EQ(model.replayGainMode.value(), ReplayGainMode::off);
}

// An image split by the sheet inside it plays on at the image's gain, and a sheet opened for it
// while it plays, whose tracks take the split ones' place, gives the track that holds the
// position its own gain at once (or the image's, where the sheet gives it none).
TEST_F(Settings, AnImageSplitWhilePlayingGoesOnAtTheGainOfTheTrackHoldingItsPosition)
{
    reader->gains["image.flac"] = ReplayGain { -4.0f, std::nullopt, -5.0f, std::nullopt };
    reader->embeddedSheets["/m/image.flac"] = "FILE \"CDImage.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                              "TRACK 02 AUDIO\nINDEX 01 01:00:00\n";
    sheets["/m/image.cue"] = "FILE \"image.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                             "TRACK 02 AUDIO\nREM REPLAYGAIN_TRACK_GAIN -7.00 dB\nINDEX 01 01:00:00\n";
    folders["/m"] = { "image.flac", "image.cue" };
    for (const auto& [time, expected] : { std::pair(30.0, -4.0f), std::pair(70.0, -7.0f) }) {
        SCOPED_TRACE(time);
        controller.reset();
        model.streamInfo.set(StreamInfoMap()); // the image is read again, and split again
        startWith({ wholeFile("/m/image.flac") });
        perform(SetReplayGainModeCommand(ReplayGainMode::track));
        perform(PlayTrackCommand(0));
        engine.time = time;
        settle();
        ASSERT_EQ(model.tracks.value().size(), 2u);
        EXPECT_FLOAT_EQ(decibels(engine.gain), -4);
        perform(AddTracksCommand({ url("/m/image.cue") }));
        settle();
        ASSERT_EQ(model.tracks.value().size(), 2u);
        EXPECT_FALSE(model.tracks.value()[0].isFromEmbeddedSheet);
        EXPECT_TRUE(model.isPlaying.value());
        EXPECT_FLOAT_EQ(decibels(engine.gain), expected);
    }
}

TEST_F(Settings, StoredValuesOfTheWrongKindAreIgnoredAndAnOversizedVolumeClamped)
{
    defaults->set(2.5, "volume");
    defaults->set(QStringLiteral("no"), "repeat");
    start();
    EXPECT_FLOAT_EQ(model.volume.value(), 1.0f);
    EXPECT_TRUE(model.isRepeating.value());

    controller.reset();
    defaults->set(QStringLiteral("loud"), "volume");
    model.volume.set(0.8f);
    start();
    EXPECT_FLOAT_EQ(model.volume.value(), 0.8f);
}

TEST_F(Settings, TheSleepTimerCountsDownFromTheClockAndStopsPlaybackAtItsDeadline)
{
    startWith({ wholeFile("/m/a.flac") });
    perform(PlayTrackCommand(0));
    perform(SetSleepTimerCommand(15));
    EXPECT_EQ(model.sleepTimeRemaining.value(), 900.0);

    now += std::chrono::milliseconds(1200);
    timers.fire(PlayerController::sleepTickInterval);
    mainThread.runAll();
    EXPECT_NEAR(*model.sleepTimeRemaining.value(), 898.8, 1e-9);

    now += std::chrono::seconds(899);
    timers.fire(PlayerController::sleepTickInterval);
    mainThread.runAll();
    EXPECT_FALSE(model.sleepTimeRemaining.value());
    EXPECT_FALSE(model.isPlaying.value());
    EXPECT_EQ(model.currentIndex.value(), 0);
    EXPECT_EQ(timers.validCount(PlayerController::sleepTickInterval), 0);
}

TEST_F(Settings, SettingTheSleepTimerAgainRestartsItAndNoneCancelsIt)
{
    start();
    perform(SetSleepTimerCommand(15));
    now += std::chrono::seconds(100);
    perform(SetSleepTimerCommand(30));
    EXPECT_EQ(model.sleepTimeRemaining.value(), 1800.0);
    EXPECT_EQ(timers.validCount(PlayerController::sleepTickInterval), 1);

    perform(SetSleepTimerCommand(std::nullopt));
    EXPECT_EQ(timers.validCount(PlayerController::sleepTickInterval), 0);
    int notifications = 0;
    const auto subscription = model.sleepTimeRemaining.subscribe([&](const auto&) { ++notifications; });
    perform(SetSleepTimerCommand(std::nullopt));
    EXPECT_EQ(notifications, 2);
    perform(SleepTimerTickCommand());
    EXPECT_EQ(notifications, 2);
}

} // namespace
} // namespace lh::test
