#pragma once

#include "PlayerState.h"
#include "PlaylistFileWriter.h"
#include "TrackList.h"

#include <vector>

namespace lh {

// The playlist as the rows a list file is written from. A cue track names the sheet it came
// from, so a run of them is written once as that sheet; a track of a sheet inside its file
// names the file, which reopened is split by that sheet again. A cue track that does not know
// its sheet (stored by an older version) names its file too. Pure; any thread, so a playlist of
// a million rows is turned into rows off the main thread.
namespace PlaylistExport {

std::vector<PlaylistFileWriter::Row> rows(const TrackList& tracks, const StreamInfoMap& streamInfo);

} // namespace PlaylistExport
} // namespace lh
