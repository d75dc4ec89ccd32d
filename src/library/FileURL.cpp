#include "FileURL.h"

#include <QFile>

#include <algorithm>

#include <vector>

namespace lh {
namespace {

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
        || c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> percentDecoded(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

// Absolute, and made only of components that are neither empty, "." nor "..".
bool isCanonical(std::string_view path)
{
    if (path == "/")
        return true;
    if (!path.starts_with('/') || path.ends_with('/'))
        return false;
    for (std::size_t start = 1; start <= path.size();) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view component = path.substr(start, slash - start);
        if (component.empty() || component == "." || component == "..")
            return false;
        start = slash + 1;
    }
    return true;
}

} // namespace

FileURL::FileURL(std::string path, bool isDirectory)
    : isDirectory_(isDirectory)
{
    const std::size_t hash = std::hash<std::string>()(path);
    path_ = std::make_shared<const Path>(Path { .text = std::move(path), .hash = hash });
}

const FileURL::Path& FileURL::emptyPath() noexcept
{
    static const Path empty { std::string(), std::hash<std::string>()(std::string()) };
    return empty;
}

FileURL FileURL::fromLocalFile(const QString& path, bool isDirectory)
{
    return FileURL(QFile::encodeName(path).toStdString(), isDirectory);
}

std::optional<FileURL> FileURL::fromUserInput(std::string_view text)
{
    constexpr std::string_view scheme = "file://";
    if (text.starts_with(scheme)) {
        text.remove_prefix(scheme.size());
        if (text.starts_with("localhost/"))
            text.remove_prefix(std::string_view("localhost").size());
        if (const auto end = text.find_first_of("?#"); end != std::string_view::npos)
            text = text.substr(0, end);
        auto path = percentDecoded(text);
        if (!path || !path->starts_with('/'))
            return std::nullopt;
        const bool isDirectory = path->size() > 1 && path->ends_with('/');
        return FileURL(std::move(*path), isDirectory);
    }
    if (!text.starts_with('/'))
        return std::nullopt;
    return FileURL(std::string(text));
}

FileURL FileURL::normalizedFileURL() const
{
    // Nearly every URL is canonical already (a restored playlist is made of them): it is its
    // own canonical form, and a copy of it costs nothing.
    if (isCanonical(path()))
        return *this;
    std::vector<std::string_view> components;
    std::string_view rest = path();
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view component = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (component.empty() || component == ".")
            continue;
        if (component == "..") {
            if (!components.empty())
                components.pop_back();
            continue;
        }
        components.push_back(component);
    }
    if (components.empty())
        return FileURL("/", isDirectory_);
    std::string normalized;
    normalized.reserve(path().size() + 1);
    for (const std::string_view component : components) {
        normalized += '/';
        normalized += component;
    }
    return FileURL(std::move(normalized), isDirectory_);
}

std::string FileURL::lastPathComponent() const
{
    std::string_view path = this->path();
    while (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    if (path == "/")
        return {};
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FileURL::pathExtension() const
{
    const std::string name = lastPathComponent();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size())
        return {};
    return name.substr(dot + 1);
}

std::string FileURL::stem() const
{
    const std::string name = lastPathComponent();
    const std::string extension = pathExtension();
    return extension.empty() ? name : name.substr(0, name.size() - extension.size() - 1);
}

FileURL FileURL::deletingLastPathComponent() const
{
    std::string_view path = this->path();
    while (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return FileURL("/", true);
    return FileURL(std::string(path.substr(0, slash)), true);
}

FileURL FileURL::appendingPathComponent(std::string_view name, bool isDirectory) const
{
    std::string path = this->path();
    if (!path.ends_with('/'))
        path += '/';
    path += name;
    return FileURL(std::move(path), isDirectory);
}

QString FileURL::toQString() const
{
    return QFile::decodeName(QByteArray::fromStdString(path()));
}

std::string FileURL::toUri() const
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : path()) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreserved(byte)) {
            uri += c;
        } else {
            uri += '%';
            uri += digits[byte >> 4];
            uri += digits[byte & 0xF];
        }
    }
    if (isDirectory_ && !uri.ends_with('/'))
        uri += '/';
    return uri;
}

} // namespace lh
