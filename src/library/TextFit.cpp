#include "TextFit.h"

#include "CodePoints.h"

#include <QChar>

#include <iconv.h>

#include <array>
#include <bitset>
#include <string_view>

namespace lh {
namespace {

// The accented letters each group of Latin-script languages writes (small letters). A right
// code page gives words whose accented letters one of these groups holds; a wrong one often
// mixes letters of several (the 1252 reading of "Šušteršič" is "Šušteršiè").
constexpr std::array<std::u16string_view, 17> latinAlphabets {
    u"àâæçéèêëîïôœùûüÿ", // French
    u"äöüß", // German
    u"áéíñóúü", // Spanish, Galician
    u"àçéèíïòóúü", // Catalan
    u"áâãàçéêíóôõúü", // Portuguese
    u"àèéìíòóùúî", // Italian
    u"éèëïöü", // Dutch
    u"åäöæøéüóèôà", // Swedish, Norwegian, Danish
    u"áðéíóúýþæöø", // Icelandic, Faroese
    u"äöåšžõü", // Finnish, Estonian
    u"çë", // Albanian
    u"áčďéěíňóřšťúůýž", // Czech
    u"áäčďéíĺľňóôŕšťúýž", // Slovak
    u"ąćęłńóśźż", // Polish
    u"áéíóöőúüű", // Hungarian
    u"čćđšž", // Croatian, Bosnian, Serbian, Slovene
    u"ăâîşţșț", // Romanian
};

// For each small Latin letter of U+00C0…U+024F, the alphabets that hold it, one bit each.
constexpr char32_t latinFirst = 0x00C0;
constexpr char32_t latinLast = 0x024F;
constexpr auto alphabetsByLetter = [] {
    std::array<std::uint32_t, latinLast - latinFirst + 1> masks {};
    for (std::size_t alphabet = 0; alphabet < latinAlphabets.size(); ++alphabet) {
        for (const char16_t letter : latinAlphabets[alphabet])
            masks[letter - latinFirst] |= 1u << alphabet;
    }
    return masks;
}();

std::uint32_t alphabetsOf(char32_t letter)
{
    const char32_t small = QChar::toLower(letter);
    return small >= latinFirst && small <= latinLast ? alphabetsByLetter[small - latinFirst] : 0;
}

// The characters titles and names use most, per language: a right East Asian code page gives
// mostly these, a wrong one gives characters picked at random from a table of thousands.
constexpr std::u16string_view commonSimplified
    = u"的一是不了人我在有他这中大来上国个到说们为子和你地出道也时年得就那要下以生会自着去之过家学对可她里后小么心多天而能好"
      u"都然没日于起还发成事只作当想看文无开手十用主行方又如前所本见经头面公同三已老从动两长知民样现分将外但身些与高意进把法此"
      u"实回二理美点月明其种声全工己话儿者向情部正名定女问力机给等几很业最间新什打便位因重被走电四第门相次东海口使西再平真听世"
      u"气信北少关并内加化由却代产入先山五太水万市眼体别处总才场师书比住员九笑性通目华报立马命张活难神数件安表原车白应路期叫死"
      u"常提感金何更反合放做计或光王果亲界及今京各任至清物台象记边共风战接许八特觉望直毛林题南度色字请交爱让百吃元结六思非流每"
      u"青夫连远带花快条变言往近留红周保达运半候七必城父强步完深即求转空告江语英黄收脸钱未始片千容像找友孩站广改早房音火首单影失"
      u"拿网香似石弟谁读飞落喜离坐集谈拉黑随讲怕母根终乐切冷雨乡河草歌故春秋冬夏晨夜晚梦恋泪伤温柔孤星云雪阳岸桥船唱舞灯影旅漫"
      u"步丽忘等待永远寂寞幸福思念微爸妈哥姐妹弟宝贝街曲诗醉酒茶别离秘密蓝绿紫甜蜜约定告白寻找未来岁月青春回忆"
      // family names
      u"王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程苏魏吕丁任沈姚卢姜崔钟谭陆汪"
      u"范金石廖贾夏韦方白邹孟熊秦邱江尹薛段雷侯龙史陶黎贺顾毛郝龚邵万钱严武戴莫孔向汤";
constexpr std::u16string_view commonTraditional
    = u"的一是不了人我在有他這中大來上國個到說們為子和你地出道也時年得就那要下以生會自著去之過家學對可她裡後小麼心多天而能好"
      u"都然沒日於起還發成事只作當想看文無開手十用主行方又如前所本見經頭面公同三已老從動兩長知民樣現分將外但身些與高意進把法此"
      u"實回二理美點月明其種聲全工己話兒者向情部正名定女問力機給等幾很業最間新什打便位因重被走電四第門相次東海口使西再平真聽世"
      u"氣信北少關並內加化由卻代產入先山五太水萬市眼體別處總才場師書比住員九笑性通目華報立馬命張活難神數件安表原車白應路期叫死"
      u"常提感金何更反合放做計或光王果親界及今京各任至清物台臺象記邊共風戰接許八特覺望直毛林題南度色字請交愛讓百吃元結六思非流"
      u"每青夫連遠帶花快條變言往近留紅周保達運半候七必城父強步完深即求轉空告江語英黃收臉錢未始片千容像找友孩站廣改早房音火首單"
      u"影失拿網香似石弟誰讀飛落喜離坐集談拉黑隨講怕母根終樂切冷雨鄉河草歌故春秋冬夏晨夜晚夢戀淚傷溫柔孤星雲雪陽岸橋船唱舞燈旅"
      u"漫步麗忘等待永遠寂寞幸福思念微爸媽哥姐妹寶貝街曲詩醉酒茶別秘密藍綠紫甜蜜約定告白尋找未來歲月青春回憶"
      // family names
      u"王李張劉陳楊黃趙吳周徐孫馬朱胡郭何高林羅鄭梁謝宋唐許韓馮鄧曹彭曾蕭田董袁潘于蔣蔡余杜葉程蘇魏呂丁任沈姚盧姜崔鍾譚陸汪"
      u"范金石廖賈夏韋方白鄒孟熊秦邱江尹薛段雷侯龍史陶黎賀顧毛郝龔邵萬錢嚴武戴莫孔向湯";
constexpr std::u16string_view commonJapanese
    = u"日一国人年大十二本中長出三時行見月分後前生五間上東四今金九入学高円子外八六下来気小七山話女北午百書先名川千水半男西電校"
      u"語土木聞食車何南万毎白天母火右読友左休父雨道会者地方事自社発手部合市内定問場新心田全思同体明動物正知度当業力家所意作立"
      u"言近花夜空海風雪星光歌愛恋夢町春夏秋冬朝君僕私声色青赤黒緑桜涙笑旅帰約束鳥野原京都駅店窓島橋坂祭散歩流樹森林里故郷遠届"
      u"始終会待恋想感離別涼虹晴曇嵐波砂浜船灯影街角路線夕陽昼晩夜明瞳髪胸腕指唇肩背翼羽花火祭誰彼女僕達君達"
      // family and given names
      u"佐藤鈴木高橋田中渡辺伊山本村小林加吉口松井上清水崎森池阿部石川下島前岡長谷後近遠青坂斉福太西原野三浦竹内美子花郎健翔"
      u"陽結真優恵香奈由理智和直浩誠";
constexpr std::u16string_view commonHangul
    = u"이의가는을를에하고다지기사리도나서어대한로자아수인일보시게그해없내있것들마라만우주정와과요제니거면여부전원소오구상동성"
      u"장물년께러비때생말무모중날미세바신경학개히데저연문방계선더운든야실용공유분스트드불회국감위심음식명집같조간금산발당반변안"
      u"영행치점할될했된째받알살새속손앞얼잘좋죽줄참처친통편품필합현화후힘랑요별밤꿈눈봄름을겨울늘노래마음물그너우친구녕서빛길달"
      u"꽃람억추무너다늘내처첫가자빠엄오늘때기다려보고싶어떠나는사람아름다운하얀파란빨간"
      // family and given names
      u"김이박최정강조윤장임한오서신권황안송류전홍고문양손배백허유남심노하곽성차주우구민수영지현준연은희진혜경숙미호석철";

constexpr char32_t hanFirst = 0x4E00;
constexpr char32_t hanLast = 0x9FFF;
constexpr char32_t hangulFirst = 0xAC00;
constexpr char32_t hangulLast = 0xD7A3;
using HanSet = std::bitset<hanLast - hanFirst + 1>;
using HangulSet = std::bitset<hangulLast - hangulFirst + 1>;

template <typename Set>
Set membersOf(std::u16string_view characters, char32_t first)
{
    Set set;
    for (const char16_t c : characters) {
        if (c >= first && c - first < set.size())
            set.set(c - first);
    }
    return set;
}

bool isCommonHan(char32_t c, TextFit::Writing writing)
{
    static const HanSet simplified = membersOf<HanSet>(commonSimplified, hanFirst);
    static const HanSet traditional = membersOf<HanSet>(commonTraditional, hanFirst);
    static const HanSet japanese = membersOf<HanSet>(commonJapanese, hanFirst);
    if (c < hanFirst || c > hanLast)
        return false;
    const std::size_t index = c - hanFirst;
    switch (writing) {
    case TextFit::Writing::simplifiedChinese: return simplified.test(index);
    case TextFit::Writing::traditionalChinese: return traditional.test(index);
    case TextFit::Writing::japanese: return japanese.test(index);
    case TextFit::Writing::alphabetic:
    case TextFit::Writing::korean: return false;
    }
    return false;
}

bool isCommonHangul(char32_t c)
{
    static const HangulSet common = membersOf<HangulSet>(commonHangul, hangulFirst);
    return common.test(c - hangulFirst);
}

// The 2,350 syllables of the Korean standard set (what EUC-KR holds) cover nearly all Korean
// text; the other 8,822 that code page 949 adds are what it makes of Japanese or Chinese bytes.
bool isStandardHangul(char32_t c)
{
    static const HangulSet standard = [] {
        HangulSet set;
        const iconv_t converter = iconv_open("EUC-KR", "UTF-32LE");
        if (converter == reinterpret_cast<iconv_t>(-1))
            return set.set();
        for (char32_t syllable = hangulFirst; syllable <= hangulLast; ++syllable) {
            unsigned char in[4] = { static_cast<unsigned char>(syllable), static_cast<unsigned char>(syllable >> 8), 0, 0 };
            char out[4];
            char* inPointer = reinterpret_cast<char*>(in);
            char* outPointer = out;
            std::size_t inLeft = sizeof in;
            std::size_t outLeft = sizeof out;
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
            if (iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) != static_cast<std::size_t>(-1))
                set.set(syllable - hangulFirst);
        }
        iconv_close(converter);
        return set;
    }();
    return standard.test(c - hangulFirst);
}

enum class Script { ascii, latin, cyrillic, greek, han, kana, hangul, wide, stray };

Script scriptOf(char32_t c)
{
    if (c < 0x80)
        return Script::ascii;
    if ((c >= latinFirst && c <= latinLast && c != 0xD7 && c != 0xF7) || (c >= 0x1E00 && c <= 0x1EFF))
        return Script::latin;
    if (c >= 0x0370 && c <= 0x03FF)
        return Script::greek;
    if (c >= 0x0400 && c <= 0x052F)
        return Script::cyrillic;
    if ((c >= 0x3041 && c <= 0x309F) || (c >= 0x30A0 && c <= 0x30FF))
        return Script::kana;
    if ((c >= hanFirst && c <= hanLast) || c == 0x3005) // 々 repeats the ideograph before it
        return Script::han;
    if (c >= hangulFirst && c <= hangulLast)
        return Script::hangul;
    if ((c >= 0xFF21 && c <= 0xFF3A) || (c >= 0xFF41 && c <= 0xFF5A)) // full-width Latin
        return Script::wide;
    // Half-width katakana, jamo, rare ideograph blocks, modifier letters and the like: what a
    // wrong page makes of bytes, seldom what a title holds.
    return Script::stray;
}

// The script family a word may not mix: ASCII and accented Latin letters go together, full-width
// Latin and the East Asian scripts go together.
int familyOf(Script script)
{
    switch (script) {
    case Script::ascii:
    case Script::latin: return 1;
    case Script::cyrillic: return 2;
    case Script::greek: return 4;
    case Script::han:
    case Script::kana:
    case Script::hangul:
    case Script::wide: return 8;
    case Script::stray: return 0;
    }
    return 0;
}

enum class Case : std::uint8_t { notALetter, uncased, upper, lower };

// Whether `c` is a letter of a word, and its case, from one look into the character tables.
// Ordinal marks split words like other marks.
Case letterCase(char32_t c)
{
    if (c < 0x80) {
        if (c >= u'a' && c <= u'z')
            return Case::lower;
        return c >= u'A' && c <= u'Z' ? Case::upper : Case::notALetter;
    }
    if (c == 0xAA || c == 0xBA)
        return Case::notALetter;
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase: return Case::upper;
    case QChar::Letter_Lowercase: return Case::lower;
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other: return Case::uncased;
    default: return Case::notALetter;
    }
}

bool isWordLetter(char32_t c)
{
    return letterCase(c) != Case::notALetter;
}

// Cyrillic vowels, small and capital, of U+0400…U+045F.
constexpr auto cyrillicVowels = [] {
    std::array<bool, 0x60> vowels {};
    for (const char16_t vowel : std::u16string_view(u"аеёиоуыэюяіїєўАЕЁИОУЫЭЮЯІЇЄЎ"))
        vowels[vowel - 0x0400] = true;
    return vowels;
}();

bool isCyrillicVowel(char32_t c)
{
    return c >= 0x0400 && c < 0x0460 && cyrillicVowels[c - 0x0400];
}

// What one word holds, gathered in one pass and scored at its end, when it is known whether the
// word mixes scripts or accents.
struct Word {
    qsizetype length = 0;
    int families = 0;
    bool hasASCII = false;
    bool hasNonASCII = false;
    bool hasVowel = false;
    std::uint32_t alphabets = ~0u;
    char32_t last = 0;
    std::int64_t latin = 0; // accented Latin letters in their place
    std::int64_t alphabetic = 0; // Cyrillic and Greek letters in their place
    std::int64_t misplaced = 0; // capitals after small letters, a leading "ð"
    std::int64_t commonHan = 0;
    std::int64_t otherHan = 0;
    std::int64_t kana = 0;
    std::int64_t commonHangul = 0;
    std::int64_t standardHangul = 0;
    std::int64_t extraHangul = 0;
    std::int64_t stray = 0;

    std::int64_t eastAsian() const { return commonHan + otherHan + kana + commonHangul + standardHangul + extraHangul; }
};

// Marks titles use. Apostrophes and dashes may stand between letters; quotes may not;
// the others may follow a letter but not precede one ("nº 5", "m²", "5 €").
bool isApostropheOrDash(char32_t c)
{
    return c == 0x2019 || c == 0x2018 || c == 0xB4 || c == 0x2010 || c == 0x2013 || c == 0x2014 || c == 0xB7 || c == 0x02BC;
}

bool isQuote(char32_t c)
{
    return c == 0xAB || c == 0xBB || c == 0x201C || c == 0x201D || c == 0x201E || c == 0x201A || c == 0x2039 || c == 0x203A;
}

bool isTrailingMark(char32_t c)
{
    switch (c) {
    case 0xB0: case 0xA9: case 0xAE: case 0x2122: case 0xBD: case 0xBC: case 0xBE: case 0xD7: case 0xA7:
    case 0x2116: case 0xB2: case 0xB3: case 0xA3: case 0x20AC: case 0xA5: case 0x2026:
    case 0x2022: case 0xA2:
        return true;
    default:
        return false;
    }
}

bool isEastAsianPunctuation(char32_t c)
{
    return (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF01 && c <= 0xFF60) || c == 0x30FB;
}

class Reader {
public:
    Reader(QStringView text, TextFit::Writing writing)
        : text_(text)
        , writing_(writing)
    {
    }

    TextFit fit()
    {
        qsizetype i = 0;
        while (i < text_.size()) {
            const char32_t c = codePointAt(i);
            if (isWordLetter(c)) {
                i = readWord(i);
                continue;
            }
            if (c >= 0x80)
                readMark(c, i);
            i += width(c);
        }
        return fit_;
    }

private:
    char32_t codePointAt(qsizetype i) const { return CodePoints::at(text_, i); }

    static qsizetype width(char32_t c) { return CodePoints::width(c); }

    char32_t codePointBefore(qsizetype i) const
    {
        if (i >= 2 && text_[i - 1].isLowSurrogate() && text_[i - 2].isHighSurrogate())
            return codePointAt(i - 2);
        return codePointAt(i - 1);
    }

    void stray(std::int64_t count, std::int64_t penalty)
    {
        fit_.strayCharacters += count;
        fit_.score -= count * penalty;
    }

    void readMark(char32_t c, qsizetype i)
    {
        if (QChar::isSpace(c) || isApostropheOrDash(c) || isEastAsianPunctuation(c))
            return;
        const bool afterLetter = isWordLetter(codePointBefore(i));
        const bool beforeLetter = isWordLetter(codePointAt(i + width(c)));
        if (isQuote(c)) {
            if (afterLetter && beforeLetter)
                stray(1, 2);
        } else if (c == 0xAA || c == 0xBA) { // ordinals: "1ª", "nº"
            const char32_t before = codePointBefore(i);
            if (beforeLetter || !((before >= u'0' && before <= u'9') || before == u'n' || before == u'N'))
                stray(1, 2);
        } else if (c == 0xA1 || c == 0xBF) { // ¡ ¿ open a Spanish phrase
            if (afterLetter)
                stray(1, 2);
        } else if (isTrailingMark(c)) {
            if (beforeLetter)
                stray(1, 2);
        } else {
            stray(1, 2);
        }
    }

    // Reads the word starting at `start`; returns where it ends.
    qsizetype readWord(qsizetype start)
    {
        Word word;
        Case previous = Case::uncased;
        qsizetype i = start;
        for (char32_t c; i < text_.size(); i += width(c)) {
            c = codePointAt(i);
            const Case thisCase = letterCase(c);
            if (thisCase == Case::notALetter)
                break;
            if (c < 0x80) { // most of a sheet: keywords, file names, English titles
                word.hasASCII = true;
                word.families |= familyOf(Script::ascii);
                word.last = c;
                ++word.length;
            } else {
                word.hasNonASCII = true;
                readLetter(word, c, thisCase == Case::upper && previous == Case::lower);
            }
            previous = thisCase;
        }
        if (word.hasNonASCII)
            score(word);
        return i;
    }

    void readLetter(Word& word, char32_t c, bool isCapitalAfterSmall)
    {
        const Script script = scriptOf(c);
        word.families |= familyOf(script);
        word.last = c;
        const bool isFirst = word.length++ == 0;
        switch (script) {
        case Script::ascii:
        case Script::wide: return;
        case Script::latin:
            word.alphabets &= alphabetsOf(c);
            // A word that starts with "ð" (no language's word does) is a wrong page's doing.
            if (isCapitalAfterSmall || (isFirst && (c == 0xF0 || c == 0xD0)))
                ++word.misplaced;
            else
                ++word.latin;
            return;
        case Script::cyrillic:
        case Script::greek:
            word.hasVowel = word.hasVowel || isCyrillicVowel(c);
            ++(isCapitalAfterSmall ? word.misplaced : word.alphabetic);
            return;
        case Script::han: ++(isCommonHan(c, writing_) ? word.commonHan : word.otherHan); return;
        case Script::kana: ++word.kana; return;
        case Script::hangul:
            ++(!isStandardHangul(c) ? word.extraHangul : isCommonHangul(c) ? word.commonHangul : word.standardHangul);
            return;
        case Script::stray: ++word.stray; return;
        }
    }

    void score(const Word& word)
    {
        // Half-width katakana, jamo and the like are stray wherever they stand.
        stray(word.stray, 2);
        if ((word.families & (word.families - 1)) != 0) {
            stray(word.latin + word.alphabetic + word.misplaced + word.eastAsian(), 1);
            return;
        }
        // A long Cyrillic word without a vowel is none: the 1251 reading of Greek gives them
        // ("Παπαδόπουλος" read as "Рбрбдьрпхлпт").
        if (word.families == familyOf(Script::cyrillic) && word.length >= 6 && !word.hasVowel)
            stray(1, 2);
        // Slovak "ŕ" and "ĺ" stand between consonants, never at a word's end, where the 1250
        // reading of an Italian "à" puts them ("città" read as "cittŕ").
        const char32_t last = QChar::toLower(word.last);
        const bool mixesAccents = word.alphabets == 0 || last == 0x0155 || last == 0x013A;
        if (mixesAccents && word.hasASCII && word.latin + word.misplaced > 0)
            ++fit_.mixedAccentWords;
        stray(word.misplaced, 1);
        fit_.score += mixesAccents ? -word.latin : word.latin;
        fit_.score += word.alphabetic;
        fit_.score += 2 * word.commonHan;
        if (writing_ == TextFit::Writing::japanese)
            fit_.score += 2 * word.kana;
        else
            stray(word.kana, 1);
        fit_.score += 2 * word.commonHangul + word.standardHangul;
        stray(word.extraHangul, 1);
    }

    QStringView text_;
    TextFit::Writing writing_;
    TextFit fit_;
};

} // namespace

TextFit TextFit::of(QStringView text, Writing writing)
{
    return Reader(text, writing).fit();
}

} // namespace lh
