#include "AudioDecoder.h"

#include "AudioFiles.h"

#include "AudioPlaying.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace lh {
namespace {

namespace AudioFiles = test::AudioFiles;

// One second of a 1 kHz cosine at 44.1 kHz, mono, in each format.
QString cosine(const QString& extension)
{
    QStringList arguments { "-f", "lavfi", "-i", "aevalsrc=0.5*cos(2*PI*1000*t):s=44100:d=1" };
    if (extension == "m4a" || extension == "aac")
        arguments << "-aac_pns" << "0";
    return AudioFiles::path("cosine-1s." + extension, arguments);
}

std::vector<float> decodeAll(AudioDecoder& decoder, std::int64_t expectedFirst)
{
    std::vector<float> samples;
    for (AudioDecoder::Block block = decoder.decode(); !block.samples.empty(); block = decoder.decode()) {
        EXPECT_EQ(block.firstFrame, expectedFirst + static_cast<std::int64_t>(samples.size()));
        samples.insert(samples.end(), block.samples.begin(), block.samples.end());
    }
    return samples;
}

class DecoderFormat : public ::testing::TestWithParam<const char*> { };

// Encoder delay, priming and padding are not part of the file's audio: frame 0 is the first
// sample of the tone and the last frame its last sample.
TEST_P(DecoderFormat, DecodesExactlyTheFramesThatWereEncoded)
{
    AudioDecoder decoder(FileURL::fromLocalFile(cosine(GetParam())));
    EXPECT_EQ(decoder.sampleRate(), 44100);
    EXPECT_EQ(decoder.channels(), 1);
    EXPECT_NEAR(decoder.length(), 44100, 1000); // MP3 tells its length only roughly
    const std::vector<float> samples = decodeAll(decoder, 0);
    ASSERT_EQ(samples.size(), 44100u);
    for (const std::size_t frame : { 4410, 22050, 39690 }) // where the cosine peaks
        EXPECT_NEAR(samples[frame], 0.5, 0.05) << frame;
}

// Seeking and decoding forward gives the very samples a straight decode gives from there.
TEST_P(DecoderFormat, SeekGivesTheSamplesOfAStraightDecode)
{
    const FileURL url = FileURL::fromLocalFile(cosine(GetParam()));
    AudioDecoder straight(url);
    const std::vector<float> whole = decodeAll(straight, 0);
    for (const std::int64_t target : { 0, 1, 12345, 30000, 44099 }) {
        AudioDecoder decoder(url);
        decoder.seek(target);
        const std::vector<float> tail = decodeAll(decoder, target);
        ASSERT_EQ(tail.size(), whole.size() - static_cast<std::size_t>(target)) << target;
        for (std::size_t i = 0; i < tail.size(); ++i)
            ASSERT_NEAR(tail[i], whole[static_cast<std::size_t>(target) + i], 1e-4) << "frame " << target + static_cast<std::int64_t>(i);
    }
}

INSTANTIATE_TEST_SUITE_P(ExactFormats, DecoderFormat, ::testing::Values("flac", "mp3", "m4a", "wav", "aiff"));

TEST(AudioDecoder, SeekPastTheEndEndsTheFile)
{
    for (const char* extension : { "aiff", "flac", "mp3" }) {
        AudioDecoder decoder(FileURL::fromLocalFile(cosine(extension)));
        decoder.seek(10 * 44100);
        EXPECT_TRUE(decoder.decode().samples.empty()) << extension;
    }
}

TEST(AudioDecoder, MonoComesOutAtFullLevelOnEveryChannel)
{
    AudioDecoder decoder(FileURL::fromLocalFile(cosine("wav")));
    decoder.setOutputChannels(2);
    const AudioDecoder::Block block = decoder.decode();
    ASSERT_GE(block.samples.size(), 2u);
    EXPECT_NEAR(block.samples[0], 0.5, 1e-4);
    EXPECT_EQ(block.samples[0], block.samples[1]);
}

TEST(AudioDecoder, SurroundIsMixedDownToStereo)
{
    const QString path = AudioFiles::path("surround.flac",
        { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=0.5", "-ac", "6" });
    AudioDecoder decoder(FileURL::fromLocalFile(path));
    EXPECT_EQ(decoder.channels(), 6);
    EXPECT_EQ(decoder.sampleRate(), 48000);
    decoder.setOutputChannels(2);
    std::size_t frames = 0;
    double energy = 0;
    for (AudioDecoder::Block block = decoder.decode(); !block.samples.empty(); block = decoder.decode()) {
        frames += block.samples.size() / 2;
        for (float sample : block.samples)
            energy += static_cast<double>(sample) * sample;
    }
    EXPECT_EQ(frames, 24000u);
    EXPECT_GT(energy, 0);
}

// A 16-bit PCM WAV whose header states `sampleRate` and `channels`, with 4,096 frames of silence.
QByteArray wav(std::uint32_t sampleRate, std::uint16_t channels)
{
    const std::uint32_t dataSize = 4096u * channels * 2;
    QByteArray bytes;
    const auto put = [&bytes](auto value) {
        value = qToLittleEndian(value);
        bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    };
    const auto put32 = [&put](std::uint32_t value) { put(value); };
    const auto put16 = [&put](std::uint16_t value) { put(value); };
    bytes.append("RIFF");
    put32(36 + dataSize);
    bytes.append("WAVEfmt ");
    put32(16);
    put16(1); // PCM
    put16(channels);
    put32(sampleRate);
    put32(sampleRate * channels * 2u); // bytes per second: wraps for absurd rates, as a crafted one may
    put16(static_cast<std::uint16_t>(channels * 2));
    put16(16);
    bytes.append("data");
    put32(dataSize);
    bytes.append(QByteArray(static_cast<qsizetype>(dataSize), '\0'));
    return bytes;
}

TEST(AudioDecoder, FormatsNoRealAudioUsesAreRefused)
{
    struct Case {
        std::uint32_t sampleRate;
        std::uint16_t channels;
        bool isPlayable;
    };
    const Case cases[] = {
        { 8000, 1, true }, { 44100, 2, true }, { 768000, 2, true }, { 48000, 32, true },
        { 2147483647, 2, false }, { 1000000, 2, false }, { 500, 1, false }, { 44100, 33, false }, { 44100, 1000, false },
    };
    QTemporaryDir dir;
    for (const Case& test : cases) {
        const QString path = dir.filePath(QStringLiteral("%1-%2.wav").arg(test.sampleRate).arg(test.channels));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(wav(test.sampleRate, test.channels));
        file.close();
        SCOPED_TRACE(path.toStdString());
        if (test.isPlayable) {
            const AudioDecoder decoder(FileURL::fromLocalFile(path));
            EXPECT_EQ(decoder.sampleRate(), static_cast<int>(test.sampleRate));
            EXPECT_EQ(decoder.channels(), test.channels);
        } else {
            EXPECT_THROW(AudioDecoder(FileURL::fromLocalFile(path)), AudioLoadError);
        }
    }
}

// An Ogg page's checksum: CRC-32 with polynomial 0x04c11db7, unreflected, over the page with
// its checksum field zeroed.
std::uint32_t oggChecksum(QByteArrayView page)
{
    std::uint32_t crc = 0;
    for (const char byte : page) {
        crc ^= static_cast<std::uint32_t>(static_cast<unsigned char>(byte)) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x80000000u ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    return crc;
}

// The same Opus file with the output gain of its header set to `gain` (Q7.8 dB).
QByteArray withOutputGain(QByteArray file, std::int16_t gain)
{
    const qsizetype head = file.indexOf("OpusHead");
    if (head < 0)
        return {};
    qToLittleEndian(gain, file.data() + head + 16);
    const auto segments = static_cast<unsigned char>(file[26]);
    qsizetype length = 27 + segments;
    for (int i = 0; i < segments; ++i)
        length += static_cast<unsigned char>(file[27 + i]);
    qToLittleEndian<std::uint32_t>(0, file.data() + 22);
    qToLittleEndian(oggChecksum(QByteArrayView(file).first(length)), file.data() + 22);
    return file;
}

// Players must apply the gain an Opus header states (it is how a file's loudness is adjusted
// without re-encoding): +6.02 dB doubles every sample.
TEST(AudioDecoder, OpusOutputGainIsApplied)
{
    const QString plain = AudioFiles::path("quiet.opus", { "-f", "lavfi", "-i", "aevalsrc=0.2*cos(2*PI*1000*t):s=48000:d=0.5", "-c:a", "libopus" });
    QFile source(plain);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QTemporaryDir dir;
    const QString louder = dir.filePath("louder.opus");
    QFile target(louder);
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.write(withOutputGain(source.readAll(), 1541));
    target.close();
    const auto peak = [](const QString& path) {
        AudioDecoder decoder(FileURL::fromLocalFile(path));
        float largest = 0;
        for (auto block = decoder.decode(); !block.samples.empty(); block = decoder.decode())
            for (const float sample : block.samples)
                largest = std::max(largest, std::abs(sample));
        return largest;
    };
    const float quiet = peak(plain);
    EXPECT_NEAR(quiet, 0.2, 0.02);
    EXPECT_NEAR(peak(louder) / quiet, 2.0, 0.02);
}

} // namespace
} // namespace lh
