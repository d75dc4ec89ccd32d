#include "JsonReader.h"
#include "PlaylistStore.h"

#include <QJsonDocument>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The stored playlist is read back from a file the user (or a crash) may have mangled.
namespace {

bool isRemote(const lh::FileURL& url)
{
    return url.path().size() % 2 == 0;
}

// Through the store's file and back, as a relaunch does.
std::vector<lh::Track> relaunched(const std::vector<lh::Track>& tracks)
{
    const QByteArray file = QJsonDocument(lh::PlaylistStore::storedValue(tracks)).toJson(QJsonDocument::Compact);
    return lh::PlaylistStore::restoredTracks(QJsonDocument::fromJson(file).array(), isRemote);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    QJsonValue stored = document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    if (document.isObject() && document.object().contains("savedPlaylist"))
        stored = document.object().value("savedPlaylist");

    const std::vector<lh::Track> restored = lh::PlaylistStore::restoredTracks(stored, isRemote);
    // Read from the text as the store reads it, the same bytes give the same tracks, and bytes
    // Qt refuses give none.
    const auto fromText = lh::PlaylistStore::restoredTracks(
        lh::JsonReader::document(std::string_view(reinterpret_cast<const char*>(data), size)), isRemote);
    if (document.isArray() ? fromText.tracks != restored : document.isNull() && !fromText.tracks.empty())
        std::abort();
    const std::vector<lh::Track> once = relaunched(restored);
    if (once.size() != restored.size())
        std::abort(); // every restored track survives a save
    for (std::size_t i = 0; i < restored.size(); ++i) {
        if (once[i].url != restored[i].url || once[i].title != restored[i].title || once[i].isRemote != restored[i].isRemote)
            std::abort();
    }
    if (relaunched(once) != once)
        std::abort(); // what was saved once comes back unchanged
    return 0;
}
