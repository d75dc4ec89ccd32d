#pragma once

#include "FileURL.h"
#include "NotAddedReport.h"

#include <QByteArray>

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace lh {

// Replaces the playlist files of an add by the files they name, in the list's order, so that
// the rest of the import meets them as if the user had named each one.
//
// A list may name lists: they are opened too, down to `maximumDepth` lists deep, and a list
// already opened in this add is passed over without a word (a cycle ends there). The entries a
// list names must exist (the user named the list, not them, so a dead entry is said rather than
// becoming a row that never plays) and be audio files, cue sheets or lists; everything else goes
// to the report with the reason. Names the user gave directly pass as they are. Every file
// access goes through the two functions, so this runs on the import's thread under its
// watchdog, and tests work from memory.
class ListExpander {
public:
    using ReadFile = std::function<std::optional<QByteArray>(const FileURL&)>;
    using ListFolder = std::function<std::vector<std::string>(const FileURL&)>;

    static constexpr int maximumDepth = 3;

    ListExpander(ReadFile readFile, ListFolder listFolder, NotAddedReport& report);

    // `urls`, normalised, with each list replaced by its entries.
    std::vector<FileURL> expand(const std::vector<FileURL>& urls);

private:
    void open(const FileURL& list, int depth);
    void take(const FileURL& entry, int depth);
    // Asks the entry's folder once, however many entries it holds.
    bool exists(const FileURL& file);

    ReadFile readFile_;
    ListFolder listFolder_;
    NotAddedReport& report_;
    std::unordered_set<FileURL> opened_;
    std::unordered_map<FileURL, std::unordered_set<std::string>> folders_;
    std::vector<FileURL> result_;
};

} // namespace lh
