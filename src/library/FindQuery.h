#pragma once

#include "Track.h"

#include <QString>

#include <string>
#include <vector>

namespace lh {

// What the user typed to find rows: words that must all appear in a row's name, its file's path,
// or the artist and album the player knows for it, ignoring case and accents ("beyonce" finds
// "Beyoncé", "DAWN" finds "dawn"). Any thread: it holds only its folded words.
class FindQuery {
public:
    explicit FindQuery(const QString& typed);

    // Nothing but spaces typed: every row matches.
    bool isEmpty() const noexcept { return words_.empty(); }

    // The artist and album are those a file's tags gave, when the player knows them.
    bool matches(const Track& track, const QString& knownArtist = {}, const QString& knownAlbum = {}) const;

    // Whether the row named `name` begins with what was typed ahead, as a file manager's
    // type-ahead finds a file.
    static bool startsWith(const QString& name, const QString& typed);

    // Case folded, with the accents of decomposed letters dropped.
    static QString folded(const QString& text);

private:
    bool matchesPath(const std::string& path) const;

    std::vector<QString> words_; // folded
    // The same words as bytes, when every one is ASCII: most rows are then matched on their
    // path's bytes, without a string made for them.
    std::vector<std::string> asciiWords_;
};

} // namespace lh
