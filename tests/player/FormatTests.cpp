#include "AudioDecoder.h"
#include "AudioPlaying.h"
#include "AudioFiles.h"
#include "CapturedOutput.h"
#include "Chirp.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <ostream>

namespace lh::test {
namespace {

// How a row's files are made: by ffmpeg with `encoding`, or by the format's own encoder.
enum class Encoder { ffmpeg, wavpack, mpcenc };

struct Format {
    const char* name;
    const char* extension;
    Encoder encoder = Encoder::ffmpeg;
    QStringList encoding;
    bool isLossless = false;
    // Whether the container says exactly where the audio starts and ends; without it the
    // codec's delay and padding stay in the file's own decode.
    bool isTrimmed = true;
    // Where a seek lands. Matroska counts milliseconds, so a seek lands within half of one;
    // FFmpeg's ASF and Musepack demuxers land roughly only (Musepack counts blocks of 64
    // frames and states a length rounded down to them).
    enum class Seek { exact, withinAMillisecond, roughly } seek = Seek::exact;
};

void PrintTo(const Format& format, std::ostream* out)
{
    *out << format.name;
}

QString name(int part, const QString& extension)
{
    return part < 0 ? "chirp." + extension : QStringLiteral("chirp-%1.%2").arg(part).arg(extension);
}

QString made(const Format& format, int part = -1)
{
    switch (format.encoder) {
    case Encoder::ffmpeg:
        return Chirp::file(format.extension, part, format.encoding);
    case Encoder::wavpack:
        return AudioFiles::madeBy(name(part, "wv"), { "wavpack", "-q", "-y", Chirp::wav(part), "-o" });
    case Encoder::mpcenc:
        return AudioFiles::madeBy(name(part, "mpc"), { "mpcenc", "--silent", "--overwrite", Chirp::wav(part) });
    }
    return {};
}

// A decode after a seek to `frame`, and whether its blocks were numbered on from there.
std::vector<float> decodedFrom(const QString& path, std::int64_t frame, bool& isNumberedOn)
{
    AudioDecoder decoder(FileURL::fromLocalFile(path));
    decoder.setOutputChannels(2);
    decoder.seek(frame);
    std::vector<float> samples;
    isNumberedOn = true;
    for (auto block = decoder.decode(); !block.samples.empty(); block = decoder.decode()) {
        isNumberedOn = isNumberedOn && block.firstFrame == frame + static_cast<std::int64_t>(samples.size() / 2);
        samples.insert(samples.end(), block.samples.begin(), block.samples.end());
    }
    return samples;
}

// The largest difference between two runs of samples, or infinity when their lengths differ.
double difference(std::span<const float> a, std::span<const float> b)
{
    if (a.size() != b.size())
        return INFINITY;
    double largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, static_cast<double>(std::abs(a[i] - b[i])));
    return largest;
}

class EveryFormat : public CapturedOutput, public ::testing::WithParamInterface<Format> { };

// Everything the player does with a file, on a real file of each format: its decode starts and
// ends where the audio does, a seek lands on the frame a straight decode has there, and windows
// of one file and whole files follow each other without a frame lost or added.
TEST_P(EveryFormat, PlaysSeeksEndsWindowsAndJoinsExactly)
{
    const Format& format = GetParam();
    const QString file = made(format);
    const std::vector<float> whole = Chirp::decoded(file);
    AudioDecoder probe(FileURL::fromLocalFile(file));
    const int rate = probe.sampleRate();
    const auto frames = static_cast<std::int64_t>(whole.size() / 2);
    const std::int64_t sourceFrames = Chirp::cuts[3] * rate / Chirp::rate;
    std::printf("%s: %lld frames at %d Hz, %lld from the source's\n", format.name, static_cast<long long>(frames), rate,
        static_cast<long long>(frames - sourceFrames));
    if (format.isTrimmed) {
        EXPECT_EQ(frames, sourceFrames);
    }
    const std::vector<float> source = AudioFiles::readFloats(Chirp::source());
    if (format.isLossless) {
        ASSERT_EQ(whole.size(), 2 * source.size());
        for (std::size_t i = 0; i < source.size(); ++i)
            ASSERT_NEAR(whole[2 * i], source[i], 1.0 / 32768) << "frame " << i;
    }

    // Lossy decoders keep state across frames; from a little before the target they converge.
    const double tolerance = format.isLossless ? 0 : 1e-4;
    const std::int64_t slack = format.seek == Format::Seek::withinAMillisecond ? rate / 2000 + 1 : 0;
    for (const std::int64_t target : { std::int64_t { 1 }, frames / 3 + 17, frames - 4097 }) {
        bool isNumberedOn = false;
        const std::vector<float> tail = decodedFrom(file, target, isNumberedOn);
        if (format.seek == Format::Seek::roughly) {
            EXPECT_NEAR(static_cast<double>(tail.size() / 2), static_cast<double>(frames - target), rate / 10.0) << "seek to " << target;
            continue;
        }
        EXPECT_TRUE(isNumberedOn) << "seek to " << target;
        double best = INFINITY;
        std::int64_t landed = 0;
        for (std::int64_t offset = -slack; offset <= slack; ++offset) {
            const std::int64_t at = target + offset;
            if (at < 0 || static_cast<std::size_t>(2 * at) > whole.size())
                continue; // the slack reaches past the file's ends
            const std::size_t count = std::min(tail.size(), whole.size() - static_cast<std::size_t>(2 * at));
            const double off = difference(std::span(tail).first(count), std::span(whole).subspan(static_cast<std::size_t>(2 * at), count));
            if (off < best) {
                best = off;
                landed = at;
            }
        }
        EXPECT_LE(best, tolerance) << "seek to " << target << " landed at " << landed;
        if (slack == 0) {
            EXPECT_EQ(tail.size(), whole.size() - static_cast<std::size_t>(2 * target)) << "seek to " << target;
        }
    }

    const double one = static_cast<double>(Chirp::cuts[1]) / Chirp::rate;
    const double two = static_cast<double>(Chirp::cuts[2]) / Chirp::rate;
    const std::vector<Track> windows { Chirp::window(file, 0, one), Chirp::window(file, one, two), Chirp::window(file, two, std::nullopt) };
    EXPECT_EQ(Chirp::playInTurn(windows), windows);
    if (format.seek != Format::Seek::roughly) {
        EXPECT_EQ(Chirp::trimmed(heard()), whole) << "three windows of one file sound like the file";
    }
}

// Whole files one after the other: each is heard as its own decode gives it.
TEST_P(EveryFormat, FilesFollowEachOtherAsTheirOwnDecodesGiveThem)
{
    const Format& format = GetParam();
    std::vector<float> expected;
    std::vector<Track> tracks;
    std::size_t firstFileSize = 0;
    for (int part = 0; part < 3; ++part) {
        const QString file = made(format, part);
        const std::vector<float> samples = Chirp::decoded(file);
        expected.insert(expected.end(), samples.begin(), samples.end());
        tracks.push_back(Chirp::window(file, 0, std::nullopt));
        firstFileSize = part == 0 ? samples.size() : firstFileSize;
    }
    EXPECT_EQ(Chirp::playInTurn(tracks), tracks);
    std::vector<float> output = Chirp::trimmed(heard());
    if (format.seek == Format::Seek::roughly) {
        // The first file starts with a seek to its start, which such a format may take a frame
        // or so off; the files after it, joined without one, must still follow exactly.
        ASSERT_GE(output.size(), expected.size() - firstFileSize);
        output.erase(output.begin(), output.end() - static_cast<std::ptrdiff_t>(expected.size() - firstFileSize));
        expected.erase(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(firstFileSize));
    }
    ASSERT_EQ(output.size(), expected.size());
    EXPECT_EQ(difference(output, expected), 0);
    if (format.isLossless) {
        const std::vector<float> source = AudioFiles::readFloats(Chirp::source());
        for (int join = 1; join <= 2; ++join)
            EXPECT_EQ(Chirp::gapAt(output, source, Chirp::cuts[join]), 0) << "join " << join;
    }
}

// A download cut short in its header, and the headers alone of the formats no packaged tool writes: the load
// fails as for any unplayable file, and never hangs.
TEST_P(EveryFormat, ATruncatedFileFailsToLoad)
{
    const Format& format = GetParam();
    QFile whole(made(format));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray head = whole.read(16);
    QFile cut(dir.filePath(QStringLiteral("cut.") + format.extension));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(head);
    cut.close();
    EXPECT_THROW(AudioDecoder(FileURL::fromLocalFile(cut.fileName())), AudioLoadError);
}

TEST(UnencodableFormats, HeadersAloneFailToLoad)
{
    QTemporaryDir dir;
    for (const auto& [name, header] : { std::pair { "cut.ape", QByteArray("MAC \x96\x0f\0\0", 8) }, { "cut.tak", QByteArray("tBaK") } }) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(header + QByteArray(64, '\0'));
        file.close();
        EXPECT_THROW(AudioDecoder(FileURL::fromLocalFile(file.fileName())), AudioLoadError) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryFormat,
    ::testing::Values(Format { "Vorbis", "ogg", Encoder::ffmpeg, { "-c:a", "libvorbis", "-q:a", "5" } },
        Format { "Opus", "opus", Encoder::ffmpeg, { "-c:a", "libopus", "-b:a", "128k" } },
        Format { "WavPack", "wv", Encoder::wavpack, {}, true },
        Format { "TrueAudio", "tta", Encoder::ffmpeg, {}, true },
        Format { "WindowsMedia", "wma", Encoder::ffmpeg, { "-c:a", "wmav2", "-b:a", "192k" }, false, false, Format::Seek::roughly },
        Format { "MatroskaFlac", "mka", Encoder::ffmpeg, { "-c:a", "flac" }, true, true, Format::Seek::withinAMillisecond },
        Format { "Musepack", "mpc", Encoder::mpcenc, {}, false, false, Format::Seek::roughly }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace lh::test
