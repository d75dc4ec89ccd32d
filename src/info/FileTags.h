#pragma once

#include "FileURL.h"
#include "TagItem.h"

#include <QtGlobal>

#include <vector>

namespace lh {

class MediaFile;

// The tag entries of an audio file, in the order they are applied (a later entry overwrites
// what an earlier one set). TagLib gives each format's entries in its own order:
//
//   mp3, aac  ID3v1, then APE, then the ID3v2 frames in file order. ID3v2.3 frames arrive
//             upgraded (TYER+TDAT as one TDRC); TCON is kept exactly as stored.
//   m4a       the MP4 items sorted by key (TagLib's map order, not file order).
//   flac      the Vorbis comment fields sorted by key, then the PICTURE blocks in file order.
//   wav       the RIFF INFO fields sorted by key, then the frames of an ID3 chunk.
//   aiff, aif the frames of an ID3 chunk.
//   ogg, oga, opus  the Vorbis comment fields sorted by key, then the METADATA_BLOCK_PICTURE
//             pictures in comment order.
//   wv, ape, mpc  ID3v1, then the APE items, then the APE cover art items sorted by key.
//   tta       ID3v1, then the ID3v2 frames in file order.
//   wma       the ASF title, artist, album, year and genre, then the WM/Picture attributes.
//   tak, mka  none: TagLib reads neither; fromContainer() stands in (FFmpeg reads their tags).
//
// The richer tag comes last, so it wins where both name the same thing. Blocking; call off the
// main thread. Never throws: an unreadable file gives no entries.
namespace FileTags {

// Artwork larger than this is left out. Real covers are well under a few megabytes; the
// value is copied into the model and decoded on the main thread by the panel, so a crafted
// file must not make it hold hundreds of megabytes.
inline constexpr qsizetype maximumArtworkBytes = 16 * 1024 * 1024;

std::vector<TagItem> read(const FileURL& file);

// The container metadata libavformat collected while opening `media`, as plain entries: used
// where TagLib finds nothing, e.g. AIFF NAME/AUTH chunks.
std::vector<TagItem> fromContainer(const MediaFile& media);

} // namespace FileTags
} // namespace lh
