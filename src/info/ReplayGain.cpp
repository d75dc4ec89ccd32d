#include "ReplayGain.h"

extern "C" {
#include <libavutil/dict.h>
}

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <cmath>
#include <exception>

namespace lh {
namespace {

// EBU R128's −23 LUFS against ReplayGain's −18 LUFS.
constexpr float r128ToReplayGain = 5;

// The names are looked up as given; TagLib's property maps and libavformat's dictionaries
// both ignore case.
template <typename Lookup>
ReplayGain fromNames(const Lookup& first)
{
    ReplayGain gain;
    gain.trackGain = ReplayGain::parseGain(first("REPLAYGAIN_TRACK_GAIN"));
    gain.trackPeak = ReplayGain::parsePeak(first("REPLAYGAIN_TRACK_PEAK"));
    gain.albumGain = ReplayGain::parseGain(first("REPLAYGAIN_ALBUM_GAIN"));
    gain.albumPeak = ReplayGain::parsePeak(first("REPLAYGAIN_ALBUM_PEAK"));
    // Opus players ignore REPLAYGAIN_* by the codec's rules; R128 gains take precedence.
    if (const auto track = ReplayGain::parseR128(first("R128_TRACK_GAIN")))
        gain.trackGain = track;
    if (const auto album = ReplayGain::parseR128(first("R128_ALBUM_GAIN")))
        gain.albumGain = album;
    return gain;
}

float decibelsToFactor(float decibels)
{
    return std::pow(10.0f, decibels / 20.0f);
}

} // namespace

std::optional<float> ReplayGain::parseGain(const QString& text)
{
    return CueGains::parseGain(text);
}

std::optional<float> ReplayGain::parsePeak(const QString& text)
{
    return CueGains::parsePeak(text);
}

std::optional<float> ReplayGain::parseR128(const QString& text)
{
    bool isNumber = false;
    const int q78 = text.trimmed().toInt(&isNumber);
    if (!isNumber || q78 < -32768 || q78 > 32767)
        return std::nullopt;
    const float gain = static_cast<float>(q78) / 256.0f + r128ToReplayGain;
    return std::abs(gain) <= CueGains::largestGain ? std::optional(gain) : std::nullopt;
}

ReplayGain ReplayGain::read(const FileURL& file)
{
    try {
        const TagLib::FileRef ref(file.path().c_str(), false);
        if (ref.isNull())
            return {};
        const TagLib::PropertyMap properties = ref.file()->properties();
        return fromNames([&](const char* name) {
            const auto found = properties.find(name);
            if (found == properties.end() || found->second.isEmpty())
                return QString();
            return QString::fromStdString(found->second.front().to8Bit(true));
        });
    } catch (const std::exception&) {
        return {}; // out of memory inside TagLib: the file plays uncorrected
    }
}

ReplayGain ReplayGain::fromContainer(const AVDictionary* metadata)
{
    return fromNames([&](const char* name) {
        const AVDictionaryEntry* entry = av_dict_get(metadata, name, nullptr, 0);
        return entry ? QString::fromUtf8(entry->value) : QString();
    });
}

ReplayGain ReplayGain::forCueTrack(const CueGains& sheet) const
{
    // The sheet's album lines measure the whole image, as the file's own tags would; the tags,
    // which the whole-file row plays by, come first.
    ReplayGain image = isEmpty() ? ReplayGain { sheet.albumGain(), sheet.albumPeak(), sheet.albumGain(), sheet.albumPeak() } : *this;
    if (!image.albumGain) {
        image.albumGain = image.trackGain;
        image.albumPeak = image.trackPeak;
    }
    if (sheet.trackGain()) {
        image.trackGain = sheet.trackGain();
        image.trackPeak = sheet.trackPeak();
    }
    return image;
}

float ReplayGain::factor(ReplayGainMode mode, float untaggedPreamp) const
{
    if (mode == ReplayGainMode::off)
        return 1;
    const bool isAlbum = mode == ReplayGainMode::album && albumGain;
    const std::optional<float> gain = isAlbum ? albumGain : trackGain;
    if (!gain)
        return decibelsToFactor(untaggedPreamp);
    // The peak of what the gain was measured on; the other one is a lower bound of it.
    const std::optional<float> peak = isAlbum ? (albumPeak ? albumPeak : trackPeak) : (trackPeak ? trackPeak : albumPeak);
    const float limit = peak ? -20.0f * std::log10(*peak) : CueGains::largestGain;
    return decibelsToFactor(std::min(*gain, limit));
}

} // namespace lh
