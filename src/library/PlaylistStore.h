#pragma once

#include "Preferences.h"
#include "Track.h"
#include "TrackList.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace lh {

// Keeps the playlist between launches in the preferences store: an array with one object per
// track. Fields with default values are left out; restoring is forgiving (a bare path string
// is a whole file, an element that cannot be read is skipped on its own) and never touches the
// files themselves.
//
// Main thread only, like the store, except for the static functions.
class PlaylistStore {
public:
    using IsRemote = std::function<bool(const FileURL&)>;

    // The store must outlive this object (and its copies).
    PlaylistStore(Preferences& defaults, QString key);

    // Replaces the stored playlist.
    void save(const std::vector<Track>& tracks);
    // The same with the stored form already built (see storedValue), which can be done on
    // any thread.
    void saveStored(QJsonArray stored);
    // Replaces the stored playlist with these tracks, turned into their stored form only when
    // the store writes its file (on its writer thread): the playlist is not held a second time
    // as JSON. `withNextChange`: the file holds these tracks already.
    void saveShared(TrackList tracks, Preferences::Write write = Preferences::Write::now);
    // What a restore gives: the readable elements' tracks, in order, and whether they stand for
    // the whole stored value: the value an array, every element a track, and nothing in one
    // that this version does not understand (a key it does not know, a value of another type
    // than it writes), which writing the tracks back would lose.
    struct Restored {
        std::vector<Track> tracks;
        bool isWhole = false;
    };
    // The stored playlist; `isRemote` decides for elements that do not say.
    Restored restore(const IsRemote& isRemote) const;
    std::vector<Track> load(const IsRemote& isRemote) const { return restore(isRemote).tracks; }

    // The stored form and back, apart from the store.
    static QJsonArray storedValue(const std::vector<Track>& tracks);
    // The stored form as JSON text, made element by element.
    static QByteArray storedText(const TrackList& tracks);
    // The stored JSON text read straight into tracks, element by element, without a document
    // of it. Text QJsonDocument would refuse restores nothing.
    static Restored restoredTracks(std::string_view text, const IsRemote& isRemote);

private:
    static QJsonObject propertyList(const Track& track);

    Preferences* defaults_;
    QString key_;
};

} // namespace lh
