#include "EmbeddedCueSheet.h"

#include "FileSystem.h"
#include "SupportedAudio.h"

#include <QByteArrayView>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lh::EmbeddedCueSheet {
namespace {

// What the tags of one file say that matters for its sheet.
struct Found {
    Refusal refusal = Refusal::say;
    std::optional<QByteArray> sheetText;
    std::optional<QByteArray> artist;
    std::vector<CueSheet::Track> blockEntries; // FLAC's CUESHEET block, in seconds
};

std::uint64_t bigEndian(QByteArrayView bytes, qsizetype at, int count)
{
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

std::uint32_t littleEndian32(QByteArrayView bytes, qsizetype at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

bool isKey(QByteArrayView key, std::string_view wanted)
{
    return key.compare(QByteArrayView(wanted.data(), static_cast<qsizetype>(wanted.size())), Qt::CaseInsensitive) == 0;
}

// A tag value too large to be a sheet is refused, and said once: the user sees an image that
// stays one row and may want to know why.
void take(std::optional<QByteArray>& slot, QByteArrayView value, const std::string& name, Refusal refusal)
{
    if (value.size() > maximumSheetBytes) {
        if (refusal == Refusal::say)
            std::fprintf(stderr, "larkhaven: the cue sheet inside %s is too large (%lld bytes); it plays as one track\n",
                name.c_str(), static_cast<long long>(value.size()));
        return;
    }
    if (!slot)
        slot = value.toByteArray();
}

// Vorbis comment: vendor string, then a count of "KEY=value" fields, all lengths little-endian.
void readVorbisComment(QByteArrayView block, Found& found, const std::string& name)
{
    qsizetype at = 0;
    const auto field = [&]() -> std::optional<QByteArrayView> {
        if (block.size() - at < 4)
            return std::nullopt;
        const std::uint32_t length = littleEndian32(block, at);
        at += 4;
        if (length > static_cast<std::uint64_t>(block.size() - at))
            return std::nullopt;
        const QByteArrayView value = block.sliced(at, length);
        at += length;
        return value;
    };
    if (!field() || block.size() - at < 4)
        return;
    const std::uint32_t count = littleEndian32(block, at);
    at += 4;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto comment = field();
        if (!comment)
            return;
        const qsizetype equals = comment->indexOf('=');
        if (equals < 0)
            continue;
        const QByteArrayView key = comment->first(equals);
        const QByteArrayView value = comment->sliced(equals + 1);
        if (isKey(key, "CUESHEET"))
            take(found.sheetText, value, name, found.refusal);
        else if (isKey(key, "ARTIST") && !found.artist)
            found.artist = value.toByteArray();
    }
}

// FLAC's CUESHEET block: 396 bytes of catalogue and flags, then per track its sample offset,
// number, ISRC, flags and index points (offsets relative to the track's).
void readCueSheetBlock(QByteArrayView block, std::uint32_t sampleRate, Found& found)
{
    constexpr qsizetype headerSize = 396;
    constexpr qsizetype trackSize = 36;
    constexpr qsizetype indexSize = 12;
    constexpr int leadOutCD = 170;
    constexpr int leadOut = 255;
    if (sampleRate == 0 || block.size() < headerSize)
        return;
    const int trackCount = static_cast<std::uint8_t>(block[headerSize - 1]);
    qsizetype at = headerSize;
    for (int i = 0; i < trackCount && block.size() - at >= trackSize; ++i) {
        const std::uint64_t offset = bigEndian(block, at, 8);
        const int number = static_cast<std::uint8_t>(block[at + 8]);
        const bool isAudio = (static_cast<std::uint8_t>(block[at + 21]) & 0x80) == 0;
        const int indexCount = static_cast<std::uint8_t>(block[at + 35]);
        at += trackSize;
        std::optional<std::uint64_t> start;
        for (int j = 0; j < indexCount && block.size() - at >= indexSize; ++j, at += indexSize) {
            if (block[at + 8] == 1)
                start = offset + bigEndian(block, at, 8);
        }
        if (!isAudio || number == leadOutCD || number == leadOut || !start)
            continue;
        found.blockEntries.push_back(CueSheet::Track {
            .file = QString(), .number = number, .title = std::nullopt, .performer = std::nullopt,
            .start = static_cast<double>(*start) / sampleRate, .end = std::nullopt });
    }
}

// An ID3v2 tag some taggers put before "fLaC": ten header bytes and a synchsafe size.
std::int64_t flacStart(const ReadAt& readAt)
{
    const QByteArray header = readAt(0, 10);
    if (header.size() < 10 || !header.startsWith("ID3"))
        return 0;
    std::int64_t size = 0;
    for (int i = 6; i < 10; ++i)
        size = size << 7 | (static_cast<std::uint8_t>(header[i]) & 0x7f);
    const bool hasFooter = (static_cast<std::uint8_t>(header[5]) & 0x10) != 0;
    return 10 + size + (hasFooter ? 10 : 0);
}

// Metadata blocks follow the magic, each with a last-block flag, a type and a 24-bit length.
bool readFlac(const ReadAt& readAt, std::int64_t size, Found& found, const std::string& name)
{
    std::int64_t at = flacStart(readAt);
    if (readAt(at, 4) != "fLaC")
        return false;
    at += 4;
    constexpr int streamInfo = 0;
    constexpr int vorbisComment = 4;
    constexpr int cueSheet = 5;
    std::uint32_t sampleRate = 0;
    // Real files have a handful of blocks; a crafted one may claim endless empty ones.
    for (int blocks = 0; blocks < 1024 && at + 4 <= size; ++blocks) {
        const QByteArray header = readAt(at, 4);
        if (header.size() < 4)
            break;
        const int type = static_cast<std::uint8_t>(header[0]) & 0x7f;
        const bool isLast = (static_cast<std::uint8_t>(header[0]) & 0x80) != 0;
        const auto length = static_cast<std::int64_t>(bigEndian(header, 1, 3));
        at += 4;
        if (type == streamInfo || type == vorbisComment || type == cueSheet) {
            const QByteArray block = readAt(at, length);
            if (type == streamInfo && block.size() >= 13)
                sampleRate = static_cast<std::uint32_t>(bigEndian(block, 10, 3) >> 4);
            else if (type == vorbisComment)
                readVorbisComment(block, found, name);
            else if (type == cueSheet)
                readCueSheetBlock(block, sampleRate, found);
        }
        at += length;
        if (isLast)
            break;
    }
    return true;
}

// APEv2 ends with a 32-byte footer ("APETAGEX", version, size of items and footer, item
// count, flags), at the end of the file or before an ID3v1 tag. Each item: value length,
// flags, a key ending in a zero byte, the value.
void readApe(const ReadAt& readAt, std::int64_t size, Found& found, const std::string& name)
{
    constexpr std::int64_t footerSize = 32;
    constexpr std::int64_t id3v1Size = 128;
    constexpr std::int64_t maximumTagSize = 16 * 1024 * 1024;
    for (const std::int64_t trailer : { std::int64_t(0), id3v1Size }) {
        const std::int64_t footerAt = size - trailer - footerSize;
        if (footerAt < 0)
            continue;
        const QByteArray footer = readAt(footerAt, footerSize);
        if (footer.size() < footerSize || !footer.startsWith("APETAGEX"))
            continue;
        const std::int64_t tagSize = littleEndian32(footer, 12);
        const std::uint32_t count = littleEndian32(footer, 16);
        if (tagSize < footerSize || tagSize > maximumTagSize || tagSize - footerSize > footerAt)
            return;
        const QByteArray items = readAt(footerAt + footerSize - tagSize, tagSize - footerSize);
        qsizetype at = 0;
        for (std::uint32_t i = 0; i < count && items.size() - at >= 9; ++i) {
            const std::uint32_t length = littleEndian32(items, at);
            const qsizetype keyEnd = items.indexOf('\0', at + 8);
            if (keyEnd < 0 || length > static_cast<std::uint64_t>(items.size() - keyEnd - 1))
                return;
            const QByteArrayView key = QByteArrayView(items).sliced(at + 8, keyEnd - at - 8);
            const QByteArrayView value = QByteArrayView(items).sliced(keyEnd + 1, length);
            if (isKey(key, "Cuesheet"))
                take(found.sheetText, value, name, found.refusal);
            else if (isKey(key, "Artist") && !found.artist)
                found.artist = value.toByteArray();
            at = keyEnd + 1 + length;
        }
        return;
    }
}

std::optional<QString> text(const std::optional<QByteArray>& bytes)
{
    if (!bytes)
        return std::nullopt;
    QString decoded = CueSheet::decode(*bytes).trimmed();
    if (decoded.isEmpty())
        return std::nullopt;
    return decoded;
}

// The tag's sheet, which names its tracks, before the block's bare offsets. The file's own
// artist stands in for a performer neither gives.
std::optional<CueSheet> sheetOf(const Found& found, const std::string& name)
{
    CueSheet sheet;
    if (const auto sheetText = text(found.sheetText))
        sheet = CueSheet(*sheetText);
    if (sheet.tracks.empty())
        sheet.tracks = found.blockEntries;
    if (sheet.tracks.empty())
        return std::nullopt;
    if (sheet.tracks.size() > maximumEntries) {
        if (found.refusal == Refusal::say)
            std::fprintf(stderr, "larkhaven: the cue sheet inside %s has %zu entries; it plays as one track\n",
                name.c_str(), sheet.tracks.size());
        return std::nullopt;
    }
    if (!sheet.performer)
        sheet.performer = text(found.artist);
    return sheet;
}

} // namespace

bool mayHoldSheet(const FileURL& file)
{
    static const std::array<std::string_view, 6> types { "flac", "wv", "ape", "mpc", "tta", "tak" };
    const std::string extension = SupportedAudio::lowercasedExtension(file);
    return std::ranges::find(types, extension) != types.end();
}

std::optional<CueSheet> read(const ReadAt& readAt, std::int64_t size, const std::string& name, Refusal refusal)
{
    Found found;
    found.refusal = refusal;
    // A FLAC file may carry an APEv2 tag too (some taggers write one): both are looked at.
    readFlac(readAt, size, found, name);
    readApe(readAt, size, found, name);
    return sheetOf(found, name);
}

std::optional<CueSheet> read(const FileURL& file, Refusal refusal)
{
    if (!mayHoldSheet(file) || !FileSystem::isRegularFile(file.path()))
        return std::nullopt;
    const int descriptor = ::open(file.path().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0)
        return std::nullopt;
    struct stat status {};
    std::optional<CueSheet> sheet;
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
        const ReadAt readAt = [descriptor, fileSize = static_cast<std::int64_t>(status.st_size)](
                                  std::int64_t offset, std::int64_t length) {
            QByteArray bytes;
            if (offset < 0 || length <= 0 || offset >= fileSize)
                return bytes;
            bytes.resize(static_cast<qsizetype>(std::min(length, fileSize - offset)));
            const ssize_t got = ::pread(descriptor, bytes.data(), static_cast<std::size_t>(bytes.size()), offset);
            bytes.resize(got > 0 ? static_cast<qsizetype>(got) : 0);
            return bytes;
        };
        sheet = read(readAt, status.st_size, file.path(), refusal);
    }
    ::close(descriptor);
    return sheet;
}

} // namespace lh::EmbeddedCueSheet
