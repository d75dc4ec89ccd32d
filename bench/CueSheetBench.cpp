#include "CueSheet.h"
#include "TrackImporter.h"

#include <QStringEncoder>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <iconv.h>

#include <string>
#include <unordered_map>
#include <vector>

namespace {

QByteArray viaIconv(const QString& text, const char* encoding)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out(utf8.size() * 2, '\0');
    const iconv_t converter = iconv_open(encoding, "UTF-8");
    char* in = const_cast<char*>(utf8.data());
    char* outPointer = out.data();
    std::size_t inLeft = static_cast<std::size_t>(utf8.size());
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    iconv(converter, &in, &inLeft, &outPointer, &outLeft);
    iconv_close(converter);
    out.truncate(out.size() - static_cast<qsizetype>(outLeft));
    return out;
}

// A sheet of `tracks` entries over a few files, with titles in the given language.
QString sheetText(int tracks, const QString& performer, const QStringList& words)
{
    QString text = QStringLiteral("REM GENRE Rock\r\nREM DATE 1999\r\nREM COMMENT \"ExactAudioCopy v1.6\"\r\n"
                                  "PERFORMER \"%1\"\r\nTITLE \"%2 %3\"\r\n")
                       .arg(performer, words[0], words[1]);
    for (int i = 0; i < tracks; ++i) {
        if (i % 10 == 0)
            text += QStringLiteral("FILE \"%1 - Disc %2.wav\" WAVE\r\n").arg(performer).arg(i / 10 + 1);
        const int start = (i % 10) * 4 * 60 * 75 + i;
        text += QStringLiteral("  TRACK %1 AUDIO\r\n    TITLE \"%2 %3 %4\"\r\n    PERFORMER \"%5\"\r\n"
                               "    FLAGS DCP\r\n    INDEX 00 %6:%7:%8\r\n    INDEX 01 %6:%7:%8\r\n")
                    .arg(i % 100 + 1, 2, 10, QLatin1Char('0'))
                    .arg(words[i % words.size()], words[(i * 7 + 3) % words.size()], words[(i * 13 + 5) % words.size()], performer)
                    .arg(start / 4500, 2, 10, QLatin1Char('0'))
                    .arg(start / 75 % 60, 2, 10, QLatin1Char('0'))
                    .arg(start % 75, 2, 10, QLatin1Char('0'));
    }
    return text;
}

const QStringList russian = QString::fromUtf8("Группа крови Закрой за мной дверь я ухожу Спокойная ночь Звезда по имени Солнце").split(u' ');
const QStringList czech = QString::fromUtf8("Příliš žluťoučký kůň úpěl ďábelské ódy Slovanské tance Furiant Dumka").split(u' ');
const QStringList french = QString::fromUtf8("Tous les garçons et les filles Le temps de l'amour Mon amie la rose Où va la chance").split(u' ');
const QStringList polish = QString::fromUtf8("Żółta łódź Ścieżka w lesie Jesień nad Wisłą Pożegnanie z Krakowem Cześć").split(u' ');
const QStringList greek = QString::fromUtf8("Το φεγγάρι Καλημέρα αγάπη μου Στο λιμάνι Η πόλη τη νύχτα Ένα καλοκαίρι").split(u' ');
const QStringList japanese = QString::fromUtf8("青い空 さくら並木の道 東京の夜 雨のち晴れ ありがとう 海へ行こう ふるさとの歌").split(u' ');

struct Encoding {
    const char* name;
    QByteArray (*bytes)(int tracks);
};

// Each encoding path of the decoder, with sheets of about 1 MB.
const Encoding encodings[] = {
    { "utf8-mark", [](int n) { return QByteArray("\xEF\xBB\xBF") + sheetText(n, "Кино", russian).toUtf8(); } },
    { "utf16le-mark", [](int n) {
         QStringEncoder encoder(QStringConverter::Utf16LE);
         return QByteArray("\xFF\xFE") + QByteArray(encoder.encode(sheetText(n, "Кино", russian)));
     } },
    { "utf8-strict", [](int n) { return sheetText(n, "Кино", russian).toUtf8(); } },
    { "windows-1251", [](int n) { return viaIconv(sheetText(n, "Кино", russian), "WINDOWS-1251"); } },
    { "windows-1250", [](int n) { return viaIconv(sheetText(n, "Dvořák", czech), "WINDOWS-1250"); } },
    { "windows-1252", [](int n) { return viaIconv(sheetText(n, "Françoise Hardy", french), "WINDOWS-1252"); } },
    // Readings the first rule gets wrong, so every candidate page is tried.
    { "windows-1250-polish", [](int n) { return viaIconv(sheetText(n, "Czesław Wiśniewski", polish), "WINDOWS-1250"); } },
    { "windows-1253", [](int n) { return viaIconv(sheetText(n, "Ελένη Δημητρίου", greek), "WINDOWS-1253"); } },
    { "shift-jis", [](int n) { return viaIconv(sheetText(n, "山田花子", japanese), "CP932"); } },
};

QByteArray aboutOneMegabyte(const Encoding& encoding)
{
    const int perTrack = std::max<qsizetype>(1, encoding.bytes(100).size() / 100);
    return encoding.bytes(1'000'000 / perTrack);
}

void decodeAndParseOneMegabyte(benchmark::State& state)
{
    const Encoding& encoding = encodings[state.range(0)];
    const QByteArray bytes = aboutOneMegabyte(encoding);
    std::size_t entries = 0;
    for (auto _ : state) {
        const lh::CueSheet sheet(lh::CueSheet::decode(bytes));
        entries = sheet.tracks.size();
        benchmark::DoNotOptimize(entries);
    }
    state.SetLabel(encoding.name);
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.counters["entries"] = static_cast<double>(entries);
}
BENCHMARK(decodeAndParseOneMegabyte)->DenseRange(0, std::size(encodings) - 1)->Unit(benchmark::kMillisecond);

// A library of albums, each a folder with its sheet; every other sheet still names the WAV it
// was ripped to, while the folder holds the FLAC it became.
struct Library {
    std::unordered_map<std::string, QByteArray> files;
    std::unordered_map<std::string, std::vector<std::string>> folders;
    std::vector<lh::FileURL> sheets;
};

Library library(int albums, int tracksPerAlbum)
{
    Library library;
    for (int album = 0; album < albums; ++album) {
        const std::string folder = "/mnt/nas/Music/Artist " + std::to_string(album % 97) + "/Album " + std::to_string(album);
        const bool isRenamed = album % 2 == 1;
        QString text = QStringLiteral("PERFORMER \"Artist\"\nTITLE \"Album\"\nFILE \"Album.%1\" WAVE\n").arg(isRenamed ? "wav" : "flac");
        for (int i = 0; i < tracksPerAlbum; ++i)
            text += QStringLiteral("  TRACK %1 AUDIO\n    TITLE \"Song %1\"\n    INDEX 01 %2:00:00\n").arg(i + 1).arg(i * 4);
        library.files[folder + "/Album.cue"] = text.toUtf8();
        library.folders[folder] = { "cover.jpg", "Album.log", "Album.cue", "Album.flac", ".DS_Store" };
        library.sheets.emplace_back(folder + "/Album.cue");
    }
    return library;
}

void importCueSheets(benchmark::State& state)
{
    const Library files = library(static_cast<int>(state.range(0)), 10);
    const lh::TrackImporter importer(
        [&](const lh::FileURL& url) -> std::optional<QByteArray> {
            const auto file = files.files.find(url.path());
            return file == files.files.end() ? std::nullopt : std::optional(file->second);
        },
        [&](const lh::FileURL& url) {
            const auto folder = files.folders.find(url.path());
            return folder == files.folders.end() ? std::vector<std::string>() : folder->second;
        },
        [](const lh::FileURL& url) { return url.path().starts_with("/mnt/"); });
    std::size_t tracks = 0;
    for (auto _ : state) {
        tracks = importer.tracks(files.sheets).size();
        benchmark::DoNotOptimize(tracks);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(tracks));
    state.counters["tracks"] = static_cast<double>(tracks);
}
BENCHMARK(importCueSheets)->Arg(1'000)->Unit(benchmark::kMillisecond);

} // namespace
BENCHMARK_MAIN();
