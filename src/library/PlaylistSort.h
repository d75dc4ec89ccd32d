#pragma once

#include "Track.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace lh {

// The orders the Sort menu puts rows in. Each is a permutation of row numbers, worked out on
// any thread and applied by the playlist's owner, so a million rows are sorted off the main
// thread and moved on it in one step.
namespace PlaylistSort {

enum class Order { byName, byFilePath, byTrackNumber, reversed, shuffled };

// A track's number as its file's tags give it, when the player knows them.
using KnownTrackNumber = std::function<std::optional<int>(const Track&)>;
// A whole number in [lower, upper], as the shuffle draws them.
using Random = std::function<std::int64_t(std::int64_t lower, std::int64_t upper)>;

// The new order: row i of the result is old row result[i]. Only `rows` (ascending) move, among
// their own places; all rows when it is empty. Rows that compare equal keep their order.
std::vector<std::size_t> permutation(const std::vector<Track>& tracks, Order order, const std::vector<std::size_t>& rows,
    const KnownTrackNumber& knownTrackNumber, const Random& random);

// The number a file's name begins with ("03 Song.flac" → 3), as rippers name files.
std::optional<int> leadingNumber(const Track& track);

} // namespace PlaylistSort
} // namespace lh
