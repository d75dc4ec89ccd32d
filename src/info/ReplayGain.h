#pragma once

#include "CueGains.h"
#include "FileURL.h"

#include <QString>

#include <optional>

extern "C" {
struct AVDictionary;
}

namespace lh {

// Which of a file's loudness corrections the player applies.
enum class ReplayGainMode { off, track, album };

// A file's loudness corrections as its tags state them: gains in dB towards the −18 LUFS
// reference, peaks as linear sample values (1 = full scale). What a tag does not state, or
// states as nonsense, is absent.
struct ReplayGain {
    std::optional<float> trackGain;
    std::optional<float> trackPeak;
    std::optional<float> albumGain;
    std::optional<float> albumPeak;

    bool isEmpty() const { return !trackGain && !albumGain; }

    // Tags read through TagLib (Xiph comments, APEv2, ID3v2 TXXX, MP4 freeform atoms, Opus's
    // R128 gains). Blocking; call off the main thread. Never throws.
    static ReplayGain read(const FileURL& file);
    // The same names in libavformat's metadata, for files TagLib does not read (TAK, Matroska).
    static ReplayGain fromContainer(const AVDictionary* metadata);

    // "-6.54 dB", "-6.54", "+3,2 dB": the gain in dB; none outside ±64 dB or unreadable.
    static std::optional<float> parseGain(const QString& text);
    // A linear peak; none when negative, beyond what any file holds, or unreadable.
    static std::optional<float> parsePeak(const QString& text);
    // Opus's R128 gain: a Q7.8 integer towards −23 LUFS, moved to the ReplayGain reference.
    static std::optional<float> parseR128(const QString& text);

    // What a cue track of this image plays at, given what its sheet states. Its own track gain
    // from the sheet, else the image's, so that an image never changes level by being split:
    // the file's tags as its whole-file row plays them, or where the file has none, the
    // sheet's album gain, which measures the whole image as such a tag would. One gain for the
    // whole image also stands in for a missing album gain.
    ReplayGain forCueTrack(const CueGains& sheet) const;

    // The linear factor to play at in `mode`. Album falls back to the track gain; a file with
    // neither plays at `untaggedPreamp` dB. Never lifts the stated peak over full scale.
    float factor(ReplayGainMode mode, float untaggedPreamp = 0) const;

    bool operator==(const ReplayGain&) const = default;
};

} // namespace lh
