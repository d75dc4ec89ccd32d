#include "MediaTrackInfoReader.h"

#include "EmbeddedCueSheet.h"
#include "FileSystem.h"
#include "FileTags.h"
#include "MediaFile.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <QFile>

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace lh {
namespace {

// Enough for libavformat to see the first frames of a raw stream, far less than a file.
constexpr std::int64_t maximumAnalyzeMicroseconds = AV_TIME_BASE / 2;

AVStream* firstAudioStream(AVFormatContext* context)
{
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            return context->streams[i];
    }
    return nullptr;
}

std::optional<double> durationOf(const AVFormatContext* context, const AVStream* audio)
{
    if (context->duration != AV_NOPTS_VALUE && context->duration >= 0)
        return static_cast<double>(context->duration) / AV_TIME_BASE;
    if (audio->duration != AV_NOPTS_VALUE && audio->duration >= 0)
        return static_cast<double>(audio->duration) * av_q2d(audio->time_base);
    return std::nullopt;
}

// libavformat leaves a FLAC stream's format to its first frames although the header's
// STREAMINFO block, kept as extradata, states it: sample rate in 20 bits from byte 10, then
// channels - 1 in 3 bits.
void takeFormatFromFlacHeader(AVStream* audio)
{
    AVCodecParameters* codec = audio->codecpar;
    constexpr int streamInfoSize = 34;
    if (codec->codec_id != AV_CODEC_ID_FLAC || codec->extradata_size < streamInfoSize)
        return;
    const std::uint8_t* block = codec->extradata;
    const int sampleRate = block[10] << 12 | block[11] << 4 | block[12] >> 4;
    const int channels = ((block[12] >> 1) & 0x7) + 1;
    if (sampleRate > 0 && codec->sample_rate <= 0 && codec->ch_layout.nb_channels <= 0) {
        codec->sample_rate = sampleRate;
        av_channel_layout_default(&codec->ch_layout, channels);
    }
}

// Containers that keep the format in their header (WAV, AIFF, MP4, FLAC) answer without
// reading audio; raw MP3 and ADTS streams leave it to their first frames.
bool isFormatKnown(const AVFormatContext* context, const AVStream* audio)
{
    return audio->codecpar->sample_rate > 0 && audio->codecpar->ch_layout.nb_channels > 0
        && durationOf(context, audio).has_value();
}

void learnFormatFromFirstFrames(AVFormatContext* context, AVStream* audio)
{
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        if (context->streams[i] != audio)
            context->streams[i]->discard = AVDISCARD_ALL; // only the audio is of interest
    }
    context->max_analyze_duration = maximumAnalyzeMicroseconds;
    avformat_find_stream_info(context, nullptr); // on failure the fields stay unknown
}

std::optional<std::int64_t> bitsPerSecond(double rate)
{
    // Not finite, not positive or beyond 64 bits: no figure rather than a wrapped one.
    if (!std::isfinite(rate) || rate < 1.0 || rate >= 0x1p63)
        return std::nullopt;
    return static_cast<std::int64_t>(rate);
}

// The stream's own rate where the codec states one; otherwise (FLAC) the audio bytes after the
// header over the duration, so embedded artwork does not count as audio.
std::optional<std::int64_t> bitRateOf(AVFormatContext* context, const AVStream* audio,
    std::int64_t audioStart, std::optional<double> duration)
{
    if (audio->codecpar->bit_rate > 0)
        return audio->codecpar->bit_rate;
    const std::int64_t size = context->pb ? avio_size(context->pb) : -1;
    if (duration && *duration > 0 && audioStart >= 0 && size > audioStart)
        return bitsPerSecond(static_cast<double>(size - audioStart) * 8.0 / *duration);
    return bitsPerSecond(static_cast<double>(context->bit_rate));
}

// Where the audio begins, past the header and any artwork in it. Right after opening, the read
// position is there for most demuxers (FLAC); an Ogg demuxer has been to the end for the
// duration by then, so its first audio packet tells.
std::int64_t audioStartOf(AVFormatContext* context, const AVStream* audio)
{
    if (!context->pb)
        return -1;
    if (std::strcmp(context->iformat->name, "ogg") != 0)
        return avio_tell(context->pb);
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
    constexpr int packetsToLookAt = 16;
    for (int i = 0; packet && i < packetsToLookAt && av_read_frame(context, packet.get()) >= 0; ++i) {
        const bool isAudio = packet->stream_index == audio->index;
        const std::int64_t position = packet->pos;
        av_packet_unref(packet.get());
        if (isAudio)
            return position;
    }
    return -1;
}

StreamInfo describe(const MediaFile& media, const FileURL& file)
{
    AVFormatContext* context = media.context();
    AVStream* audio = firstAudioStream(context);
    if (!audio)
        return {};
    const std::int64_t audioStart = audioStartOf(context, audio);
    takeFormatFromFlacHeader(audio);
    if (!isFormatKnown(context, audio))
        learnFormatFromFirstFrames(context, audio);

    StreamInfo info;
    info.duration = durationOf(context, audio);
    info.bitRate = bitRateOf(context, audio, audioStart, info.duration);
    if (audio->codecpar->sample_rate > 0)
        info.sampleRate = audio->codecpar->sample_rate;
    if (audio->codecpar->ch_layout.nb_channels > 0)
        info.channels = audio->codecpar->ch_layout.nb_channels;
    info.replayGain = ReplayGain::read(file);
    if (info.replayGain.isEmpty())
        info.replayGain = ReplayGain::fromContainer(context->metadata);
    return info;
}

std::unique_ptr<MediaFile> open(const FileURL& file)
{
    try {
        return std::make_unique<MediaFile>(file);
    } catch (const MediaOpenError&) {
        return nullptr;
    }
}

std::optional<std::int64_t> sizeOf(const FileURL& file)
{
    struct stat status {};
    if (::stat(file.path().c_str(), &status) != 0)
        return std::nullopt;
    return static_cast<std::int64_t>(status.st_size);
}

void copyStream(const StreamInfo& stream, TrackInfo& info)
{
    info.duration = stream.duration;
    info.bitRate = stream.bitRate;
    info.sampleRate = stream.sampleRate;
    info.channels = stream.channels;
    info.replayGain = stream.replayGain;
}

// Both kinds of sheet for one file, so the panel can say which one its cue tracks follow. The
// folder is looked at only for a local file: a network file is read from its copy, and its
// share is never touched here.
void findCueSheets(const FileURL& url, const FileURL& file, TrackInfo& info)
{
    info.hasEmbeddedCueSheet = EmbeddedCueSheet::read(file, EmbeddedCueSheet::Refusal::keepQuiet).has_value();
    if (!info.hasEmbeddedCueSheet || url != file)
        return;
    const std::string name = url.stem() + ".cue";
    if (FileSystem::isRegularFile(url.deletingLastPathComponent().appendingPathComponent(name).path()))
        info.sheetBeside = QFile::decodeName(QByteArray::fromStdString(name));
}

} // namespace

TrackInfo MediaTrackInfoReader::readInfo(const FileURL& url, const FileURL& file) const
{
    TrackInfo info = TrackInfo::placeholder(url);
    info.isLoading = false;
    // TagLib opens without O_NONBLOCK, and a FIFO would hold the reading thread for ever.
    if (!FileSystem::isRegularFile(file.path()))
        return info;
    info.fileSize = sizeOf(file);
    const std::unique_ptr<MediaFile> media = open(file);
    if (media)
        copyStream(describe(*media, file), info);

    std::vector<TagItem> items = FileTags::read(file);
    if (items.empty() && media)
        items = FileTags::fromContainer(*media);
    for (const TagItem& item : items)
        item.applyTo(info);
    findCueSheets(url, file, info);
    return info;
}

StreamInfo MediaTrackInfoReader::readStream(const FileURL& file) const
{
    const std::unique_ptr<MediaFile> media = open(file);
    return media ? describe(*media, file) : StreamInfo {};
}

std::optional<CueSheet> MediaTrackInfoReader::readCueSheet(const FileURL& file) const
{
    return EmbeddedCueSheet::read(file);
}

MediaTags MediaTrackInfoReader::readTags(const FileURL& url, const FileURL& file) const
{
    // As in readInfo: TagLib would wait on a FIFO for a writer that may never come.
    if (!FileSystem::isRegularFile(file.path())) {
        MediaTags nothing;
        nothing.url = url;
        return nothing;
    }
    return MediaTags::read(url, file);
}

} // namespace lh
