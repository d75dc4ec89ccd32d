#include "Volumes.h"

#include "FileSystem.h"

#include <algorithm>
#include <climits>
#include <unistd.h>

namespace lh::Volumes {
namespace {

bool isOctal(char c)
{
    return c >= '0' && c <= '7';
}

// Mount points escape space, tab, newline and backslash as \ooo.
std::string unescaped(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2])
            && isOctal(field[i + 3])) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::string_view> fields(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t end = std::min(line.find(' ', start), line.size());
        if (end > start)
            out.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// "id parent major:minor root mount-point options [optional…] - type source super-options"
std::optional<Mount> parseLine(std::string_view line)
{
    const auto parts = fields(line);
    if (parts.size() < 5)
        return std::nullopt;
    const auto separator = std::find(parts.begin() + 5, parts.end(), std::string_view("-"));
    if (separator == parts.end() || separator + 1 == parts.end())
        return std::nullopt;
    return Mount { unescaped(parts[4]), isLocalType(*(separator + 1)) };
}

bool holds(const Mount& mount, std::string_view path)
{
    if (mount.path == "/")
        return false;
    if (path == mount.path)
        return true;
    if (mount.path.ends_with('/'))
        return path.starts_with(mount.path);
    return path.starts_with(mount.path) && path.size() > mount.path.size() && path[mount.path.size()] == '/';
}

// `pattern` with "*" matching one non-empty component is a prefix of `path`.
bool beginsWithPattern(std::string_view path, std::string_view pattern)
{
    while (!pattern.empty()) {
        if (pattern.front() == '*') {
            const std::size_t end = path.find('/');
            if (end == 0 || end == std::string_view::npos)
                return false;
            path.remove_prefix(end);
            pattern.remove_prefix(1);
            continue;
        }
        if (path.empty() || path.front() != pattern.front())
            return false;
        path.remove_prefix(1);
        pattern.remove_prefix(1);
    }
    return true;
}

const Mount* holderOf(std::string_view path, const std::vector<Mount>& mounts)
{
    const Mount* best = nullptr;
    for (const Mount& mount : mounts) {
        if (holds(mount, path) && (!best || mount.path.size() >= best->path.size()))
            best = &mount;
    }
    return best;
}

// The components of `path`, last first, so the walk pops them off the back.
std::vector<std::string> reversedComponents(std::string_view path)
{
    std::vector<std::string> out;
    std::size_t end = path.size();
    while (end > 0) {
        const std::size_t slash = path.rfind('/', end - 1);
        const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
        if (end > start)
            out.emplace_back(path.substr(start, end - start));
        if (slash == std::string_view::npos)
            break;
        end = slash;
    }
    return out;
}

constexpr int maximumLinks = 40;

} // namespace

bool isLocalType(std::string_view type)
{
    if (std::ranges::find(localFuseTypes, type) != localFuseTypes.end())
        return true;
    if (std::ranges::find(networkTypes, type) != networkTypes.end()
        || std::ranges::find(automountTypes, type) != automountTypes.end())
        return false;
    return !type.starts_with("fuse.");
}

std::vector<Mount> parseMountInfo(std::string_view text)
{
    std::vector<Mount> mounts;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        if (auto mount = parseLine(text.substr(start, end - start)))
            mounts.push_back(std::move(*mount));
        start = end + 1;
    }
    return mounts;
}

std::vector<Mount> mounted()
{
    const auto text = FileSystem::readFile("/proc/self/mountinfo");
    if (!text)
        return {};
    return parseMountInfo(std::string_view(text->constData(), static_cast<std::size_t>(text->size())));
}

std::optional<Mount> holder(const FileURL& url, const std::vector<Mount>& mounts)
{
    const Mount* found = holderOf(url.normalizedFileURL().path(), mounts);
    if (!found)
        return std::nullopt;
    return *found;
}

std::optional<std::string> readLink(const std::string& path)
{
    std::string target(PATH_MAX, '\0');
    const ssize_t count = ::readlink(path.c_str(), target.data(), target.size());
    if (count <= 0 || static_cast<std::size_t>(count) >= target.size())
        return std::nullopt;
    target.resize(static_cast<std::size_t>(count));
    return target;
}

namespace {

using Walk = RemoteTest::Walk;

// Walks `rest` onward from `resolved`, which holds no symbolic link, so ".." may be taken
// textually.
Walk walk(std::string resolved, std::string_view rest, const std::vector<Mount>& mounts, const ReadLink& readLink, int links = 0)
{
    std::vector<std::string> pending = reversedComponents(rest);
    while (!pending.empty()) {
        std::string name = std::move(pending.back());
        pending.pop_back();
        if (name == ".")
            continue;
        if (name == "..") {
            resolved.erase(std::min(resolved.rfind('/'), resolved.size()));
            continue;
        }
        std::string candidate = resolved + "/" + name;
        const Mount* mount = holderOf(candidate, mounts);
        if (mount && !mount->isLocal) {
            resolved = std::move(candidate);
            for (auto next = pending.rbegin(); next != pending.rend(); ++next)
                resolved += "/" + *next;
            return { std::move(resolved), true, links };
        }
        const auto target = links < maximumLinks ? readLink(candidate) : std::nullopt;
        if (!target || target->empty()) {
            resolved = std::move(candidate);
            continue;
        }
        ++links;
        if (target->front() == '/')
            resolved.clear();
        for (std::string& component : reversedComponents(*target))
            pending.push_back(std::move(component));
    }
    return { std::move(resolved), false, links };
}

} // namespace

std::string resolvedPath(std::string_view path, const std::vector<Mount>& mounts, const ReadLink& readLink)
{
    std::string resolved = walk("", path, mounts, readLink).resolved;
    return resolved.empty() ? "/" : resolved;
}

bool isUnderVolumeRoot(std::string_view path)
{
    return std::ranges::any_of(volumeRoots, [&](std::string_view root) { return beginsWithPattern(path, root); });
}

namespace {

bool isRemotePath(const std::string& resolved, const std::vector<Mount>& mounts)
{
    const std::string path = FileURL(resolved.empty() ? "/" : resolved).normalizedFileURL().path();
    if (const Mount* mount = holderOf(path, mounts))
        return !mount->isLocal;
    return isUnderVolumeRoot(path);
}

} // namespace

bool isRemoteAmong(const FileURL& url, const std::vector<Mount>& mounts, const ReadLink& readLink)
{
    return isRemotePath(walk("", url.normalizedFileURL().path(), mounts, readLink).resolved, mounts);
}

RemoteTest::RemoteTest(std::vector<Mount> mounts, ReadLink readLink)
    : mounts_(std::move(mounts))
    , readLink_(std::move(readLink))
{
}

bool RemoteTest::operator()(const FileURL& url)
{
    const std::string path = url.normalizedFileURL().path();
    const std::size_t slash = path.rfind('/');
    const std::string_view folder = std::string_view(path).substr(0, slash);
    const std::string_view name = std::string_view(path).substr(slash + 1);
    if (!folder_ || *folder_ != folder) {
        folder_ = std::string(folder);
        walkedFolder_ = walk("", folder, mounts_, readLink_);
    }
    if (walkedFolder_.isStopped)
        return isRemotePath(walkedFolder_.resolved + "/" + std::string(name), mounts_);
    return isRemotePath(walk(walkedFolder_.resolved, name, mounts_, readLink_, walkedFolder_.links).resolved, mounts_);
}

bool isRemote(const FileURL& url)
{
    return isRemoteAmong(url, mounted());
}

} // namespace lh::Volumes
