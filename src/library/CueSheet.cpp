#include "CueSheet.h"

#include <QSet>

#include <algorithm>

namespace lh {
namespace {

bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return u == u'\n' || u == u'\r' || u == u'\u0085' || u == u'\u2028' || u == u'\u2029';
}

bool isBlank(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QStringView trimmed(QStringView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// Pieces of `text` between space characters, empty ones dropped; at most `limit` of them.
std::vector<QStringView> spaceSeparated(QStringView text, std::size_t limit = SIZE_MAX)
{
    std::vector<QStringView> pieces;
    for (const QStringView piece : text.tokenize(u' ', Qt::SkipEmptyParts)) {
        if (pieces.size() == limit)
            break;
        pieces.push_back(piece);
    }
    return pieces;
}

// An optional sign, then ASCII digits; nothing when the value does not fit.
std::optional<std::int64_t> decimal(QStringView text)
{
    bool isNegative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        isNegative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    std::int64_t value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c.unicode() - u'0';
        if (__builtin_mul_overflow(value, 10, &value) || __builtin_add_overflow(value, isNegative ? -digit : digit, &value))
            return std::nullopt;
    }
    return value;
}

// A quoted value loses its quotes and whatever follows the closing one; a lone opening quote
// is part of the value.
std::optional<QString> value(QStringView text)
{
    text = trimmed(text);
    if (text.startsWith(u'"')) {
        const qsizetype closing = text.lastIndexOf(u'"');
        if (closing > 0)
            text = text.sliced(1, closing - 1);
    }
    if (text.isEmpty())
        return std::nullopt;
    return text.toString();
}

// FILE's arguments without the file type that ends them ("Side A.flac WAVE").
std::optional<QString> fileName(QStringView text)
{
    if (text.startsWith(u'"'))
        return value(text);
    const std::vector<QStringView> pieces = spaceSeparated(text);
    if (pieces.size() < 2)
        return value(text);
    QString name;
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
        if (i > 0)
            name += u' ';
        name += pieces[i];
    }
    return value(name);
}

// mm:ss:ff at 75 frames a second. Values are taken as written, out of range or negative;
// minutes too large to count in seconds make the time invalid.
std::optional<double> time(QStringView text)
{
    if (text.count(u':') != 2)
        return std::nullopt;
    const qsizetype first = text.indexOf(u':');
    const qsizetype second = text.indexOf(u':', first + 1);
    const auto minutes = decimal(text.first(first));
    const auto seconds = decimal(text.sliced(first + 1, second - first - 1));
    const auto frames = decimal(text.sliced(second + 1));
    if (!minutes || !seconds || !frames)
        return std::nullopt;
    std::int64_t wholeSeconds = 0;
    if (__builtin_mul_overflow(*minutes, 60, &wholeSeconds) || __builtin_add_overflow(wholeSeconds, *seconds, &wholeSeconds))
        return std::nullopt;
    return static_cast<double>(wholeSeconds) + static_cast<double>(*frames) / 75.0;
}

// Keywords and types are matched by their upper-case form; the ASCII ones, nearly all of
// them, without building it.
bool isWord(QStringView word, QStringView upperCase)
{
    const bool isASCII = std::all_of(word.begin(), word.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (isASCII)
        return word.compare(upperCase, Qt::CaseInsensitive) == 0;
    return word.toString().toUpper() == upperCase;
}

bool isSameFile(const QString& a, const QString& b)
{
    return a == b || a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

// The entry being collected between one TRACK line and the next.
struct Draft {
    std::int64_t number = 0;
    std::optional<QString> title;
    std::optional<QString> performer;
    std::optional<QString> file;
    std::optional<double> start;
    std::optional<float> gain;
    std::optional<float> peak;
};

class Parser {
public:
    void read(QStringView line);
    CueSheet finish() &&;

private:
    void finishDraft();
    void setTitleOrPerformer(std::optional<QString> Draft::*field, std::optional<QString> CueSheet::*sheetField, QStringView rest);
    void readRemark(QStringView rest);

    CueSheet sheet_;
    std::optional<float> albumGain_;
    std::optional<float> albumPeak_;
    std::optional<Draft> draft_;
    std::optional<QString> file_;
    bool isInTrack_ = false; // after any TRACK line, audio or not
};

void Parser::read(QStringView line)
{
    line = trimmed(line);
    const qsizetype space = line.indexOf(u' ');
    const QStringView keyword = line.first(space < 0 ? line.size() : space);
    QStringView rest = space < 0 ? QStringView() : line.sliced(space);
    while (rest.startsWith(u' '))
        rest = rest.sliced(1);

    if (isWord(keyword, u"FILE")) {
        file_ = fileName(rest);
    } else if (isWord(keyword, u"TRACK")) {
        finishDraft();
        const auto arguments = spaceSeparated(rest, 2);
        if (arguments.size() == 2 && isWord(arguments[1], u"AUDIO")) {
            if (const auto number = decimal(arguments[0]))
                {
                draft_.emplace();
                draft_->number = *number;
            }
        }
        isInTrack_ = true;
    } else if (isWord(keyword, u"TITLE")) {
        setTitleOrPerformer(&Draft::title, &CueSheet::title, rest);
    } else if (isWord(keyword, u"PERFORMER")) {
        setTitleOrPerformer(&Draft::performer, &CueSheet::performer, rest);
    } else if (isWord(keyword, u"REM")) {
        readRemark(rest);
    } else if (isWord(keyword, u"INDEX")) {
        const auto arguments = spaceSeparated(rest, 2);
        if (arguments.size() == 2 && decimal(arguments[0]) == 1 && draft_) {
            if (const auto start = time(arguments[1])) {
                draft_->start = start;
                draft_->file = file_;
            }
        }
    }
}

void Parser::setTitleOrPerformer(std::optional<QString> Draft::*field, std::optional<QString> CueSheet::*sheetField, QStringView rest)
{
    if (!isInTrack_)
        sheet_.*sheetField = value(rest);
    else if (draft_)
        *draft_.*field = value(rest);
}

// Rippers write the ReplayGain of the rip as remarks: the album's before the first TRACK line,
// each entry's inside it. Other remarks, and these elsewhere, mean nothing here.
void Parser::readRemark(QStringView rest)
{
    const auto arguments = spaceSeparated(rest, 1);
    if (arguments.empty())
        return;
    const QStringView name = arguments[0];
    const auto text = value(rest.sliced(name.size()));
    const QStringView argument = text ? QStringView(*text) : QStringView();
    if (!isInTrack_ && isWord(name, u"REPLAYGAIN_ALBUM_GAIN"))
        albumGain_ = CueGains::parseGain(argument);
    else if (!isInTrack_ && isWord(name, u"REPLAYGAIN_ALBUM_PEAK"))
        albumPeak_ = CueGains::parsePeak(argument);
    else if (draft_ && isWord(name, u"REPLAYGAIN_TRACK_GAIN"))
        draft_->gain = CueGains::parseGain(argument);
    else if (draft_ && isWord(name, u"REPLAYGAIN_TRACK_PEAK"))
        draft_->peak = CueGains::parsePeak(argument);
}

void Parser::finishDraft()
{
    if (draft_ && draft_->file && draft_->start) {
        sheet_.tracks.push_back(CueSheet::Track {
            .file = *draft_->file,
            .number = draft_->number,
            .title = draft_->title,
            .performer = draft_->performer,
            .start = *draft_->start,
            .end = std::nullopt,
            .gains = CueGains(draft_->gain, draft_->peak, albumGain_, albumPeak_),
        });
    }
    draft_.reset();
}

CueSheet Parser::finish() &&
{
    finishDraft();
    auto& tracks = sheet_.tracks;
    for (std::size_t i = 0; i + 1 < tracks.size(); ++i) {
        if (isSameFile(tracks[i].file, tracks[i + 1].file))
            tracks[i].end = tracks[i + 1].start;
    }
    return std::move(sheet_);
}

} // namespace

CueSheet::CueSheet(const QString& text)
{
    Parser parser;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isLineBreak(text[i])) {
            parser.read(QStringView(text).sliced(lineStart, i - lineStart));
            lineStart = i + 1;
        }
    }
    *this = std::move(parser).finish();
}

std::vector<QString> CueSheet::files() const
{
    std::vector<QString> files;
    QSet<QString> seen;
    for (const Track& track : tracks) {
        QString canonical = track.file.normalized(QString::NormalizationForm_C);
        if (!seen.contains(canonical)) {
            seen.insert(std::move(canonical));
            files.push_back(track.file);
        }
    }
    return files;
}

} // namespace lh
