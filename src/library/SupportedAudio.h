#pragma once

#include "FileURL.h"

#include <QString>
#include <QStringList>

#include <array>
#include <string_view>

namespace lh {

// The audio files the player accepts as whole files.
namespace SupportedAudio {

inline constexpr std::array<std::string_view, 7> fileExtensions { "mp3", "wav", "aiff", "aif", "m4a", "aac", "flac" };

// True when the URL's extension, lower-cased, is one of fileExtensions.
bool isSupported(const FileURL& url);

// The open dialog's name patterns: every supported extension and "cue", in both letter
// cases ("*.mp3", "*.MP3", …).
QStringList openDialogPatterns();

// The open dialog's name filter built from openDialogPatterns().
QString openDialogFilter();

} // namespace SupportedAudio
} // namespace lh
