#include "PlaylistFile.h"
#include "PlaylistFileWriter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Playlist files come from other players, other systems and strangers' downloads.
//
// Input: one byte choosing the format (its low two bits), then the list's bytes. Every entry
// must be an absolute, normalised path; an error comes alone; and the entries, written out
// again, must read back as themselves.
namespace {

const char* const listPaths[] = { "/home/u/lists/l.m3u", "/home/u/lists/l.m3u8", "/home/u/lists/l.pls", "/home/u/lists/l.xspf" };

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const lh::FileURL listURL(listPaths[data[0] & 3]);
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const auto contents = lh::PlaylistFile::read(listURL, bytes);
    if (contents.error && (!contents.entries.empty() || !contents.skipped.empty()))
        std::abort();

    std::vector<lh::PlaylistFileWriter::Row> rows;
    for (const lh::FileURL& entry : contents.entries) {
        if (!entry.path().starts_with('/') || entry.normalizedFileURL().path() != entry.path())
            std::abort();
        rows.push_back({ lh::FileURL(entry.path()), std::nullopt, std::nullopt, QString::fromUtf8(entry.path()) });
    }
    const auto again = lh::PlaylistFile::read(listURL, lh::PlaylistFileWriter::write(*lh::PlaylistFile::formatOf(listURL), listURL, rows));
    if (again.error || !again.skipped.empty() || again.entries.size() != rows.size())
        std::abort();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (again.entries[i].path() != rows[i].file.path())
            std::abort();
    }
    return 0;
}
