#pragma once

#include "CueSheet.h"
#include "FileURL.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <optional>

namespace lh {

// The cue sheet an album image carries inside itself: a CUESHEET field of FLAC's Vorbis
// comment, a Cuesheet item of an APEv2 tag (WavPack, Monkey's Audio, Musepack, TTA, TAK), any
// letter case, or else FLAC's own CUESHEET block, which has track offsets but no titles.
//
// The tag's bytes are read raw and decoded as a sheet file is, because rippers store legacy
// code pages there although both tag formats promise UTF-8. Every entry means the file that
// holds the sheet, whatever its FILE lines say. Blocking; any thread. Never throws.
namespace EmbeddedCueSheet {

// Reads up to `length` bytes at `offset`; fewer at the end of the file or on an error.
using ReadAt = std::function<QByteArray(std::int64_t offset, std::int64_t length)>;

// Real sheets are a few kilobytes; a larger tag is something else, and decoding it would
// build its text several times over.
inline constexpr std::int64_t maximumSheetBytes = 1024 * 1024;
// A CD holds 99 tracks; a sheet with more entries than this is not one.
inline constexpr std::size_t maximumEntries = 999;

// Whether a file of this type can carry a sheet at all, so others are never opened for it.
bool mayHoldSheet(const FileURL& file);

// Whether a sheet refused for its size is named on standard error: once where the file is
// added, not again each time it is looked at.
enum class Refusal { say, keepQuiet };

// The sheet of the file `readAt` reads, `size` bytes long; none when it has no usable one.
std::optional<CueSheet> read(const ReadAt& readAt, std::int64_t size, const std::string& name, Refusal refusal = Refusal::say);

// The same for a regular file on disk; nothing for anything else (a FIFO is never opened).
std::optional<CueSheet> read(const FileURL& file, Refusal refusal = Refusal::say);

} // namespace EmbeddedCueSheet
} // namespace lh
