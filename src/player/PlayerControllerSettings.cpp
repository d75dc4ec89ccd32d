// Volume, shuffle, repeat, dimming, ReplayGain, the output device and the sleep timer.
#include "PlayerController.h"

#include "Preferences.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace lh {

namespace {

const QString volumeKey = QStringLiteral("volume");
const QString shuffleKey = QStringLiteral("shuffle");
const QString repeatKey = QStringLiteral("repeat");
const QString replayGainKey = QStringLiteral("replayGain");
const QString outputDeviceKey = QStringLiteral("outputDevice");
const QString showsTagTitlesKey = QStringLiteral("showsTagTitles");

// The stored names, in the order of ReplayGainMode.
const std::array<QString, 3> replayGainNames { QStringLiteral("off"), QStringLiteral("track"), QStringLiteral("album") };

ReplayGainMode storedReplayGainMode(const std::optional<QJsonValue>& value)
{
    for (std::size_t i = 0; i < replayGainNames.size(); ++i) {
        if (value && value->toString() == replayGainNames[i])
            return static_cast<ReplayGainMode>(i);
    }
    return ReplayGainMode::off;
}

float clampedVolume(float volume)
{
    if (!(volume > 0)) // NaN too: a volume nobody can hear is the safe reading
        return 0;
    return std::min(volume, 1.0f);
}

} // namespace

void PlayerController::setVolume(float volume)
{
    const float clamped = clampedVolume(volume);
    model_.volume.set(clamped);
    applyVolume();
    defaults_.set(static_cast<double>(clamped), volumeKey);
}

void PlayerController::changeVolume(float delta)
{
    setVolume(model_.volume.value() + delta);
}

void PlayerController::applyVolume()
{
    const float volume = model_.volume.value();
    playback_.setVolume(model_.isDimmed.value() ? volume * dimmedFactor : volume);
}

void PlayerController::setReplayGainMode(ReplayGainMode mode)
{
    model_.replayGainMode.set(mode);
    defaults_.set(replayGainNames.at(static_cast<std::size_t>(mode)), replayGainKey);
    applyGain();
}

float PlayerController::gainOf(const Track& track) const
{
    const auto& known = model_.streamInfo.value();
    const auto info = known.find(track.url);
    ReplayGain gain = info == known.end() ? ReplayGain {} : info->second.replayGain;
    if (!track.isWholeFile())
        gain = gain.forCueTrack(track.gains);
    return gain.factor(model_.replayGainMode.value());
}

// From the next buffer on for the track playing; the one armed to follow takes its own at the
// join. A join already made keeps the gain it was made with.
void PlayerController::applyGain()
{
    if (const auto& track = playback_.track())
        playback_.setGain(gainOf(*track));
    if (auto upcoming = playback_.upcoming()) {
        upcoming->gain = gainOf(upcoming->track);
        playback_.setUpcoming(std::move(upcoming));
    }
}

void PlayerController::toggleShuffle()
{
    model_.isShuffled.modify([](bool& isShuffled) { isShuffled = !isShuffled; });
    defaults_.set(model_.isShuffled.value(), shuffleKey);
    shufflePick_.reset();
    reconsiderUpcoming();
}

// Not a setting: it asks for one stop, at the end of what plays now, and is gone once it has.
void PlayerController::toggleStopAfterCurrent()
{
    model_.stopsAfterCurrent.modify([](bool& stops) { stops = !stops; });
    reconsiderUpcoming();
}

void PlayerController::toggleRepeat()
{
    model_.isRepeating.modify([](bool& isRepeating) { isRepeating = !isRepeating; });
    defaults_.set(model_.isRepeating.value(), repeatKey);
    reconsiderUpcoming();
}

void PlayerController::toggleDim()
{
    model_.isDimmed.modify([](bool& isDimmed) { isDimmed = !isDimmed; });
    applyVolume();
}

void PlayerController::restoreSettings()
{
    if (const auto volume = defaults_.object(volumeKey); volume && volume->isDouble())
        model_.volume.set(clampedVolume(static_cast<float>(volume->toDouble())));
    model_.isShuffled.set(defaults_.boolean(shuffleKey));
    const auto repeat = defaults_.object(repeatKey);
    model_.isRepeating.set(repeat && repeat->isBool() ? repeat->toBool() : true);
    model_.replayGainMode.set(storedReplayGainMode(defaults_.object(replayGainKey)));
    model_.showsTagTitles.set(defaults_.boolean(showsTagTitlesKey));
    const auto device = defaults_.object(outputDeviceKey);
    model_.outputDevice.set(device ? device->toString().toStdString() : std::string());
    playback_.engine().setOutputDevice(model_.outputDevice.value());
}

void PlayerController::setOutputDevice(const std::string& name)
{
    model_.outputDevice.set(name);
    playback_.engine().setOutputDevice(name);
    defaults_.set(QString::fromStdString(name), outputDeviceKey);
}

// A remembered device that is not there is played around, said once; the menu shows the
// default chosen, and the stored choice stays for the next launch until another replaces it.
void PlayerController::takeOutputDevices(std::vector<OutputDevice> devices)
{
    const std::string& chosen = model_.outputDevice.value();
    const bool isThere = std::any_of(devices.begin(), devices.end(), [&](const OutputDevice& device) { return device.name == chosen; });
    if (!chosen.empty() && !devices.empty() && !isThere) {
        std::fprintf(stderr, "larkhaven: the output device %s is not there; playing to the default one\n", chosen.c_str());
        model_.outputDevice.set(std::string());
        playback_.engine().setOutputDevice({}); // as the menu shows, also should the device come back
    }
    model_.outputDevices.set(std::move(devices));
}

void PlayerController::setShowsTagTitles(bool shows)
{
    if (model_.showsTagTitles.value() == shows)
        return;
    model_.showsTagTitles.set(shows);
    defaults_.set(shows, showsTagTitlesKey);
    startTagNames(shows);
}

void PlayerController::setSleepTimer(std::optional<int> minutes)
{
    if (sleepTimer_) {
        sleepTimer_->invalidate();
        sleepTimer_.reset();
    }
    if (!minutes) {
        sleepDeadline_.reset();
        model_.sleepTimeRemaining.set(std::nullopt);
        return;
    }
    const std::int64_t seconds = std::int64_t { *minutes } * 60;
    sleepDeadline_ = environment_.now() + std::chrono::seconds(seconds);
    model_.sleepTimeRemaining.set(static_cast<double>(seconds));
    sleepTimer_ = makeCommandTimer(sleepTickInterval, [](PlayerController& controller) { controller.perform(SleepTimerTickCommand()); });
}

// The remaining time comes from the clock, not from counting firings, so late firings do not
// stretch the countdown.
void PlayerController::sleepTimerTick()
{
    if (!sleepDeadline_)
        return;
    const std::chrono::duration<double> remaining = *sleepDeadline_ - environment_.now();
    if (remaining.count() > 0) {
        model_.sleepTimeRemaining.set(remaining.count());
        return;
    }
    setSleepTimer(std::nullopt);
    resetPlayback();
}

} // namespace lh
