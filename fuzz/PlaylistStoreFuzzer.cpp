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

lh::PlaylistStore::Restored restored(const QByteArray& text)
{
    return lh::PlaylistStore::restoredTracks(std::string_view(text.constData(), std::size_t(text.size())), isRemote);
}

// What a value Qt has read restores: read from Qt's own text of it.
lh::PlaylistStore::Restored throughQt(const QJsonValue& value)
{
    return value.isArray() ? restored(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)) : lh::PlaylistStore::Restored {};
}

// Through the store's file and back, as a relaunch does.
lh::PlaylistStore::Restored relaunched(const std::vector<lh::Track>& tracks)
{
    return restored(lh::PlaylistStore::storedText(lh::TrackList(tracks)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(bytes.data(), static_cast<qsizetype>(size)));

    // Read from the text as the store reads it, the bytes give what Qt's reading of them gives:
    // the same tracks and the same answer to whether they stand for the whole; bytes Qt refuses,
    // or a document that is no array, give none.
    const auto fromText = lh::PlaylistStore::restoredTracks(lh::JsonReader::document(bytes), isRemote);
    const auto fromQt = throughQt(document.isArray() ? QJsonValue(document.array()) : QJsonValue());
    if (fromText.tracks != fromQt.tracks || fromText.isWhole != fromQt.isWhole)
        std::abort();

    // A whole settings file holds the playlist as one of its values.
    const std::vector<lh::Track> tracks = document.isObject() ? throughQt(document.object().value("savedPlaylist")).tracks : fromText.tracks;
    const auto once = relaunched(tracks);
    if (once.tracks.size() != tracks.size() || !once.isWhole)
        std::abort(); // every restored track survives a save, and what this version writes it reads whole
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (once.tracks[i].url != tracks[i].url || once.tracks[i].title != tracks[i].title || once.tracks[i].isRemote != tracks[i].isRemote)
            std::abort();
    }
    if (relaunched(once.tracks).tracks != once.tracks)
        std::abort(); // what was saved once comes back unchanged
    return 0;
}
