#pragma once

#include "FileErrors.h"
#include "RemoteFileAccess.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace lh {

// Files on a pretend share: sizes and contents the test sets, failures it chooses. Keeps the
// promises of RemoteFileAccess (RemoteFileAccessContractTests runs it beside the real one).
class FakeRemoteFiles final : public RemoteFileAccess {
public:
    std::int64_t size(const FileURL& url) override
    {
        sizeQueries.push_back(url.lastPathComponent());
        failIfAsked(url);
        return static_cast<std::int64_t>(contentsOf(url).size());
    }

    void copy(const FileURL& source, const FileURL& destination, const Progress& progress) override
    {
        copies.push_back(source.lastPathComponent());
        if (failingCopies.contains(source.path()))
            throw FileError(EIO, "read");
        if (fullDiskCopies.contains(source.path()))
            throw FileError(ENOSPC, "write");
        failIfAsked(source);
        const std::string& contents = contentsOf(source);
        progress();
        std::ofstream(destination.path(), std::ios::binary | std::ios::trunc) << contents;
        try {
            progress();
        } catch (...) {
            std::remove(destination.path().c_str());
            throw;
        }
    }

    std::map<std::string, std::string> files;
    std::set<std::string> missing;
    std::set<std::string> away;
    std::set<std::string> failingCopies;
    std::set<std::string> fullDiskCopies;
    std::vector<std::string> sizeQueries;
    std::vector<std::string> copies;

private:
    void failIfAsked(const FileURL& url) const
    {
        if (missing.contains(url.path()))
            throw MissingFileError();
        if (away.contains(url.path()))
            throw FileError(ENOENT, "away");
    }

    // A file the test never made is one no share has: the error a real share gives.
    const std::string& contentsOf(const FileURL& url) const
    {
        const auto found = files.find(url.path());
        if (found == files.end())
            throw FileError(ENOENT, "open " + url.path());
        return found->second;
    }
};

} // namespace lh
