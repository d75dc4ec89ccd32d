#pragma once

#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>

namespace lh {

// The loudness corrections a cue sheet states for one of its entries, as rippers write them in
// REM lines: the entry's own REPLAYGAIN_TRACK_GAIN and _PEAK, and the sheet's
// REPLAYGAIN_ALBUM_GAIN and _PEAK. Gains are dB towards the ReplayGain reference, peaks linear
// sample values (1 = full scale); each is optional.
//
// Every cue track of a playlist of a million rows carries one, so the four values are kept in
// six bytes, the room that was padding at the end of a Track: 12 bits each, in steps of a
// twentieth of a dB, which no one hears. A gain is kept to the nearest step; a peak (kept as
// its level) to the step at or above it, so a gain it limits never lifts the real peak over
// full scale.
class CueGains {
public:
    // A gain beyond this is no measurement of real music but a broken or hostile tag; a peak
    // beyond the same level is no music either.
    static constexpr float largestGain = 64;
    static constexpr int stepsPerDecibel = 20;

    CueGains() = default;
    CueGains(std::optional<double> trackGain, std::optional<double> trackPeak, std::optional<double> albumGain,
        std::optional<double> albumPeak);

    std::optional<double> trackGain() const { return level(trackGainSlot); }
    std::optional<double> trackPeak() const { return peak(trackPeakSlot); }
    std::optional<double> albumGain() const { return level(albumGainSlot); }
    std::optional<double> albumPeak() const { return peak(albumPeakSlot); }
    bool isEmpty() const { return codes_ == std::array<std::uint16_t, 3> {}; }

    // "-6.54 dB", "-6.54", "+3,2 dB": the gain in dB; none outside ±64 dB or unreadable.
    static std::optional<float> parseGain(QStringView text);
    // A linear peak; none when not above zero, beyond the largest level, or unreadable.
    static std::optional<float> parsePeak(QStringView text);

    bool operator==(const CueGains&) const = default;

private:
    enum Slot { trackGainSlot, trackPeakSlot, albumGainSlot, albumPeakSlot };
    // The slot's value in dB.
    std::optional<double> level(Slot slot) const;
    std::optional<double> peak(Slot slot) const;
    std::uint64_t packed() const;
    // The slot's level in steps, offset by one past the largest, so 0 means absent.
    std::uint16_t code(Slot slot) const;
    void setCode(Slot slot, std::optional<double> steps);

    std::array<std::uint16_t, 3> codes_ {};
};

} // namespace lh
