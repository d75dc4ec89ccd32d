#include "CueGains.h"

#include <QString>

#include <algorithm>
#include <cmath>

namespace lh {
namespace {

constexpr int largestStep = static_cast<int>(CueGains::largestGain) * CueGains::stepsPerDecibel;
constexpr int bitsPerSlot = 12;
constexpr std::uint64_t slotMask = (1u << bitsPerSlot) - 1;
// The largest level as a linear peak, 10^(64/20).
constexpr float largestPeak = 1585;

std::optional<double> number(QStringView view)
{
    QString text = view.trimmed().toString();
    if (text.endsWith(QStringLiteral("db"), Qt::CaseInsensitive))
        text.chop(2);
    text = text.trimmed().replace(u',', u'.');
    bool isNumber = false;
    const double value = text.toDouble(&isNumber);
    if (!isNumber || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A gain's level in steps, to the nearest.
std::optional<double> gainSteps(std::optional<double> gain)
{
    return gain ? std::optional(std::round(*gain * CueGains::stepsPerDecibel)) : std::nullopt;
}

// A peak's level in steps, rounded up, unless it lies within what a step's own value loses on
// its way through a decimal number (a stored playlist), which would otherwise raise it by a
// step at each save.
std::optional<double> peakSteps(std::optional<double> peak)
{
    if (!peak || !(*peak > 0))
        return std::nullopt;
    return std::ceil(20 * std::log10(*peak) * CueGains::stepsPerDecibel - 1e-6);
}

} // namespace

CueGains::CueGains(std::optional<double> trackGain, std::optional<double> trackPeak, std::optional<double> albumGain,
    std::optional<double> albumPeak)
{
    setCode(trackGainSlot, gainSteps(trackGain));
    setCode(trackPeakSlot, peakSteps(trackPeak));
    setCode(albumGainSlot, gainSteps(albumGain));
    setCode(albumPeakSlot, peakSteps(albumPeak));
}

std::optional<float> CueGains::parseGain(QStringView text)
{
    const auto gain = number(text);
    return gain && std::abs(*gain) <= largestGain ? std::optional(static_cast<float>(*gain)) : std::nullopt;
}

std::optional<float> CueGains::parsePeak(QStringView text)
{
    const auto peak = number(text);
    return peak && *peak > 0 && *peak <= largestPeak ? std::optional(static_cast<float>(*peak)) : std::nullopt;
}

std::optional<double> CueGains::level(Slot slot) const
{
    const int stored = code(slot);
    if (stored == 0)
        return std::nullopt;
    return double(stored - largestStep - 1) / stepsPerDecibel;
}

std::optional<double> CueGains::peak(Slot slot) const
{
    const auto decibels = level(slot);
    return decibels ? std::optional(std::pow(10.0, *decibels / 20)) : std::nullopt;
}

std::uint64_t CueGains::packed() const
{
    return codes_[0] | std::uint64_t { codes_[1] } << 16 | std::uint64_t { codes_[2] } << 32;
}

std::uint16_t CueGains::code(Slot slot) const
{
    return static_cast<std::uint16_t>(packed() >> (bitsPerSlot * slot) & slotMask);
}

void CueGains::setCode(Slot slot, std::optional<double> steps)
{
    std::uint64_t code = 0;
    if (steps && std::isfinite(*steps))
        code = static_cast<std::uint64_t>(std::clamp(*steps, double(-largestStep), double(largestStep)) + largestStep + 1);
    const int shift = bitsPerSlot * slot;
    const std::uint64_t all = (packed() & ~(slotMask << shift)) | code << shift;
    for (std::size_t i = 0; i < codes_.size(); ++i)
        codes_[i] = static_cast<std::uint16_t>(all >> (16 * i));
}

} // namespace lh
