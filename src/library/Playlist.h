#pragma once

#include "TrackList.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace lh {

// The rules of the one playlist, as pure functions over its tracks.
namespace Playlist {

using Index = std::int64_t;

// The tracks to add, in input order, without duplicates: a cue track is a duplicate when a
// cue track of the same file and start is present; a whole file is a duplicate when its file
// is present in any form. The first occurrence within the batch wins.
std::vector<Track> newTracks(const std::vector<Track>& tracks, const std::vector<Track>& existing);

// The rows (ascending) of whole files whose file the just-added cue tracks now cover.
std::vector<std::size_t> wholeFiles(const TrackList& tracks, const std::vector<Track>& added);

// The tracks the transport tries, in order: from `from` in steps of `step`, either every
// track once around the list (wraps) or up to an end of the list. An index outside the
// list, or an empty list, gives nothing to try (wraps false) or every track (wraps true).
std::vector<Track> candidates(const TrackList& tracks, Index from, Index step, bool wraps);

// The network files to copy ahead, most urgent first: the current track, then the ones after
// it, wrapping around; each file once.
std::vector<FileURL> remoteFiles(const TrackList& tracks, std::optional<Index> current);

} // namespace Playlist
} // namespace lh
