#include "SupportedAudio.h"

#include <algorithm>
#include <cctype>

namespace lh::SupportedAudio {

std::string lowercasedExtension(const FileURL& url)
{
    std::string extension = url.pathExtension();
    std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

bool isSupported(const FileURL& url)
{
    return std::ranges::find(fileExtensions, lowercasedExtension(url)) != fileExtensions.end();
}

bool isCueSheet(const FileURL& url)
{
    return lowercasedExtension(url) == cueSheetExtension;
}

QStringList openDialogPatterns()
{
    QStringList patterns;
    auto add = [&](std::string_view extension) {
        const QString lower = QString::fromLatin1(extension.data(), static_cast<qsizetype>(extension.size()));
        patterns << QStringLiteral("*.") + lower << QStringLiteral("*.") + lower.toUpper();
    };
    for (const std::string_view extension : fileExtensions)
        add(extension);
    add(cueSheetExtension);
    for (const std::string_view extension : playlistExtensions)
        add(extension);
    return patterns;
}

QString openDialogFilter()
{
    return QStringLiteral("Audio files, cue sheets and playlists (%1)").arg(openDialogPatterns().join(QLatin1Char(' ')));
}

} // namespace lh::SupportedAudio
