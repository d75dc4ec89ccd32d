#include "FileStates.h"

#include <cmath>
#include <stdexcept>

namespace lh {

FileStates::FileStates(FileStateMap states)
    : base_(std::move(states))
    , size_(base_.size())
{
}

FileStates::FileStates(std::initializer_list<FileStateMap::value_type> states)
    : FileStates(FileStateMap(states))
{
}

std::optional<FileState> FileStates::state(const FileURL& url) const
{
    if (const auto override = recent_.find(url); override != recent_.end())
        return override->second;
    return baseState(url);
}

FileState FileStates::at(const FileURL& url) const
{
    if (const auto found = state(url))
        return *found;
    throw std::out_of_range("no state for " + url.path());
}

FileStateMap FileStates::map() const
{
    FileStateMap all = base_;
    for (const auto& [url, state] : recent_) {
        if (state)
            all.insert_or_assign(url, *state);
        else
            all.erase(url);
    }
    return all;
}

FileStates FileStates::with(const std::vector<Change>& changes) const
{
    Overrides overrides = recent_;
    std::size_t size = size_;
    for (const auto& [url, state] : changes) {
        const auto override = overrides.find(url);
        const auto bulk = baseState(url);
        const auto before = override != overrides.end() ? override->second : bulk;
        size = size - (before ? 1 : 0) + (state ? 1 : 0);
        if (state == bulk)
            overrides.erase(url);
        else
            overrides.insert_or_assign(url, state);
    }
    FileStates next;
    next.base_ = base_;
    next.recent_ = SharedValue<Overrides>(std::move(overrides));
    next.size_ = size;
    if (isDueForFold(next.recent_.size()))
        return FileStates(next.map());
    return next;
}

std::optional<FileState> FileStates::baseState(const FileURL& url) const
{
    if (const auto found = base_.find(url); found != base_.end())
        return found->second;
    return std::nullopt;
}

bool FileStates::isDueForFold(std::size_t overrides) const noexcept
{
    return overrides > 64 + 2 * static_cast<std::size_t>(std::sqrt(static_cast<double>(base_.size())));
}

bool FileStates::isSameAs(const FileStates& other) const noexcept
{
    return base_.isSameAs(other.base_) && recent_.isSameAs(other.recent_);
}

bool operator==(const FileStates& a, const FileStates& b)
{
    return a.isSameAs(b) || a == b.map();
}

bool operator==(const FileStates& a, const FileStateMap& b)
{
    if (a.size() != b.size())
        return false;
    for (const auto& [url, state] : b) {
        if (a.state(url) != state)
            return false;
    }
    return true;
}

} // namespace lh
