#include "Volumes.h"

#include "FileSystem.h"

#include <algorithm>

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

} // namespace

bool isLocalType(std::string_view type)
{
    if (std::ranges::find(localFuseTypes, type) != localFuseTypes.end())
        return true;
    if (std::ranges::find(networkTypes, type) != networkTypes.end())
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
    const std::string path = url.normalizedFileURL().path();
    const Mount* best = nullptr;
    for (const Mount& mount : mounts) {
        if (holds(mount, path) && (!best || mount.path.size() > best->path.size()))
            best = &mount;
    }
    if (!best)
        return std::nullopt;
    return *best;
}

bool isUnderVolumeRoot(std::string_view path)
{
    return std::ranges::any_of(volumeRoots, [&](std::string_view root) { return beginsWithPattern(path, root); });
}

bool isRemoteAmong(const FileURL& url, const std::vector<Mount>& mounts)
{
    if (const auto mount = holder(url, mounts))
        return !mount->isLocal;
    return isUnderVolumeRoot(url.normalizedFileURL().path());
}

bool isRemote(const FileURL& url)
{
    return isRemoteAmong(url, mounted());
}

} // namespace lh::Volumes
