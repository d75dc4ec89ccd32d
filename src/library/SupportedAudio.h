#pragma once

#include "FileURL.h"

#include <QString>
#include <QStringList>

#include <array>
#include <string>
#include <string_view>

namespace lh {

// The audio files the player accepts as whole files: what FFmpeg decodes and people keep music
// in on Linux. New ones go at the end: fuzz seeds name theirs by position.
namespace SupportedAudio {

inline constexpr std::array<std::string_view, 17> fileExtensions { "mp3", "wav", "aiff", "aif", "m4a", "aac", "flac", "ogg",
    "oga", "opus", "wv", "ape", "tak", "tta", "mpc", "wma", "mka" };

// The URL's path extension in lower case (ASCII letters only: extensions are).
std::string lowercasedExtension(const FileURL& url);

// True when the URL's extension, lower-cased, is one of fileExtensions.
bool isSupported(const FileURL& url);

// A cue sheet is told by its extension alone, in either letter case, like the audio files.
inline constexpr std::string_view cueSheetExtension = "cue";
bool isCueSheet(const FileURL& url);

// Playlist files of other players, opened wherever audio files are (PlaylistFile reads them).
inline constexpr std::array<std::string_view, 4> playlistExtensions { "m3u", "m3u8", "pls", "xspf" };

// The open dialog's name patterns: every supported extension, "cue" and the playlists', in
// both letter cases ("*.mp3", "*.MP3", …).
QStringList openDialogPatterns();

// The open dialog's name filter built from openDialogPatterns().
QString openDialogFilter();

} // namespace SupportedAudio
} // namespace lh
