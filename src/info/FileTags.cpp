#include "FileTags.h"

#include "MediaFile.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/rifffile.h>
#include <taglib/tpropertymap.h>
#include <taglib/trueaudiofile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <QByteArray>

#include <exception>
#include <string>

namespace lh::FileTags {
namespace {

using Key = TagItem::CommonKey;
using Id = TagItem::Identifier;

// TagLib rewrites a TCON "(17)" as "17" while parsing. The frame is renamed before that
// happens, so its text arrives exactly as the file stores it.
constexpr char untouchedContentTypeID[] = "TCNV";

template <typename Member>
struct FirstParameter;
template <typename Class, typename Parameter>
struct FirstParameter<bool (Class::*)(Parameter) const> {
    using Type = Parameter;
};

// TagLib declares the frame header type in a protected section but hands it to the one hook it
// lets subclasses override; its type is taken from that hook.
struct FrameFactoryHook : TagLib::ID3v2::FrameFactory {
    using FrameHeader = FirstParameter<decltype(&FrameFactoryHook::updateFrame)>::Type;
};

class UntouchedGenreFrameFactory final : public TagLib::ID3v2::FrameFactory {
protected:
    bool updateFrame(FrameFactoryHook::FrameHeader header) const override
    {
        if (!FrameFactory::updateFrame(header))
            return false;
        if (header->frameID() == "TCON")
            header->setFrameID(untouchedContentTypeID);
        return true;
    }
};

// Stateless apart from TagLib's read-only defaults, so shared by every reading thread.
UntouchedGenreFrameFactory& frameFactory()
{
    static UntouchedGenreFrameFactory factory;
    return factory;
}

QString toQString(const TagLib::String& text)
{
    return QString::fromStdString(text.to8Bit(true));
}

QByteArray toBytes(const TagLib::ByteVector& bytes)
{
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

class Items {
public:
    void text(Key key, Id identifier, const TagLib::String& value)
    {
        items_.push_back({ key, identifier, toQString(value), {} });
    }
    void text(Key key, const TagLib::String& value) { text(key, Id::none, value); }
    void text(Id identifier, const TagLib::String& value) { text(Key::none, identifier, value); }

    void artwork(const TagLib::ByteVector& image)
    {
        if (image.size() > static_cast<unsigned>(maximumArtworkBytes))
            return;
        items_.push_back({ Key::artwork, Id::none, {}, toBytes(image) });
    }

    // The fields every tag type offers; for ID3v1 and APE, which come before ID3v2.
    void basicTag(const TagLib::Tag& tag)
    {
        text(Key::title, tag.title());
        text(Key::artist, tag.artist());
        text(Key::albumName, tag.album());
        if (tag.year() > 0)
            text(Key::creationDate, TagLib::String::number(static_cast<int>(tag.year())));
        text(Id::plainGenre, tag.genre());
    }

    void id3v2(const TagLib::ID3v2::Tag& tag)
    {
        for (const TagLib::ID3v2::Frame* frame : tag.frameList()) {
            const TagLib::ByteVector id = frame->frameID();
            if (id == "APIC") {
                if (const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame))
                    artwork(picture->picture());
            } else if (id == "TIT2") {
                text(Key::title, frame->toString());
            } else if (id == "TPE1") {
                text(Key::artist, frame->toString());
            } else if (id == "TALB") {
                text(Key::albumName, frame->toString());
            } else if (id == "TDRC") {
                text(Key::creationDate, Id::id3RecordingTime, frame->toString());
            } else if (id == "TYER") { // only where a version 2.4 tag carries one as it is
                text(Id::id3Year, frame->toString());
            } else if (id == untouchedContentTypeID) {
                text(Id::id3ContentType, frame->toString());
            }
        }
    }

    void mp4(const TagLib::MP4::Tag& tag)
    {
        for (const auto& [key, item] : tag.itemMap()) {
            if (key == "covr") {
                for (const TagLib::MP4::CoverArt& cover : item.toCoverArtList())
                    artwork(cover.data());
                continue;
            }
            const TagLib::String value = item.toStringList().toString(", ");
            if (key == "\251nam")
                text(Key::title, value);
            else if (key == "\251ART")
                text(Key::artist, value);
            else if (key == "\251alb")
                text(Key::albumName, value);
            else if (key == "\251day")
                text(Key::creationDate, Id::mp4ReleaseDate, value);
            else if (key == "\251gen")
                text(Id::mp4UserGenre, value);
        }
    }

    // APE tags keep a cover as the file name it had, a zero byte, then the image.
    void apeArtwork(const TagLib::APE::Tag& tag)
    {
        for (const auto& [key, item] : tag.itemListMap()) {
            if (item.type() != TagLib::APE::Item::Binary || !key.upper().startsWith("COVER ART"))
                continue;
            const TagLib::ByteVector data = item.binaryData();
            const int nameEnd = data.find('\0');
            if (nameEnd >= 0)
                artwork(data.mid(static_cast<unsigned>(nameEnd) + 1));
        }
    }

    void asf(const TagLib::ASF::Tag& tag)
    {
        basicTag(tag);
        const auto& attributes = tag.attributeListMap();
        if (const auto found = attributes.find("WM/Picture"); found != attributes.end()) {
            for (const TagLib::ASF::Attribute& attribute : found->second)
                artwork(attribute.toPicture().picture());
        }
    }

    void xiphComment(TagLib::Ogg::XiphComment& comment)
    {
        fields(comment.fieldListMap(), "TITLE", "ARTIST", "ALBUM", "DATE", "GENRE");
        for (const TagLib::FLAC::Picture* picture : comment.pictureList())
            artwork(picture->data());
    }

    // Vorbis comments and RIFF INFO: one entry per value, by field name.
    void fields(const TagLib::SimplePropertyMap& map, const char* title, const char* artist,
        const char* album, const char* date, const char* genre)
    {
        for (const auto& [name, values] : map) {
            for (const TagLib::String& value : values) {
                if (name == title)
                    text(Key::title, value);
                else if (name == artist)
                    text(Key::artist, value);
                else if (name == album)
                    text(Key::albumName, value);
                else if (name == date)
                    text(Key::creationDate, value);
                else if (name == genre)
                    text(Id::plainGenre, value);
            }
        }
    }

    std::vector<TagItem> take() { return std::move(items_); }

private:
    std::vector<TagItem> items_;
};

// RIFF (WAV) and IFF (AIFF) chunks, read once: TagLib's own WAV and AIFF classes always parse
// an ID3 chunk with the default frame factory.
class ChunkFile final : public TagLib::RIFF::File {
public:
    ChunkFile(const char* path, Endianness endianness)
        : TagLib::RIFF::File(path, endianness)
    {
    }

    static constexpr Endianness wav = LittleEndian;
    static constexpr Endianness aiff = BigEndian;

    void readInto(Items& items)
    {
        if (!isValid())
            return;
        TagLib::List<unsigned> id3Chunks;
        for (unsigned i = 0; i < chunkCount(); ++i) {
            const TagLib::ByteVector name = chunkName(i);
            if (name == "LIST") {
                const TagLib::ByteVector data = chunkData(i);
                if (data.startsWith("INFO")) {
                    const TagLib::RIFF::Info::Tag info(data);
                    items.fields(toSimpleMap(info.fieldListMap()), "INAM", "IART", "IPRD", "ICRD", "IGNR");
                }
            } else if (name == "ID3 " || name == "id3 ") {
                id3Chunks.append(i);
            }
        }
        // INFO before ID3 wherever the chunks lie: the ID3 frames are the richer tag.
        for (const unsigned i : id3Chunks) {
            const TagLib::ID3v2::Tag tag(this, chunkOffset(i), &frameFactory());
            items.id3v2(tag);
        }
    }

    TagLib::Tag* tag() const override { return nullptr; }
    TagLib::AudioProperties* audioProperties() const override { return nullptr; }
    bool save() override { return false; }

private:
    static TagLib::SimplePropertyMap toSimpleMap(const TagLib::RIFF::Info::FieldListMap& fields)
    {
        TagLib::SimplePropertyMap map;
        for (const auto& [name, value] : fields)
            map[TagLib::String(name)] = TagLib::StringList(value);
        return map;
    }
};

void readMpeg(const char* path, Items& items)
{
    TagLib::MPEG::File file(path, &frameFactory(), false);
    if (!file.isValid())
        return;
    if (const TagLib::ID3v1::Tag* tag = file.ID3v1Tag())
        items.basicTag(*tag);
    if (const TagLib::APE::Tag* tag = file.APETag())
        items.basicTag(*tag);
    if (const TagLib::ID3v2::Tag* tag = file.ID3v2Tag())
        items.id3v2(*tag);
}

void readMp4(const char* path, Items& items)
{
    TagLib::MP4::File file(path, false);
    if (file.isValid() && file.tag())
        items.mp4(*file.tag());
}

void readFlac(const char* path, Items& items)
{
    TagLib::FLAC::File file(path, false);
    if (!file.isValid())
        return;
    if (const TagLib::Ogg::XiphComment* comment = file.xiphComment())
        items.fields(comment->fieldListMap(), "TITLE", "ARTIST", "ALBUM", "DATE", "GENRE");
    for (const TagLib::FLAC::Picture* picture : file.pictureList())
        items.artwork(picture->data());
}

// An Ogg file's name does not tell its codec: Vorbis, Opus or FLAC are tried in turn, each
// taking only the first pages to decide.
void readOgg(const char* path, Items& items)
{
    if (TagLib::Ogg::Vorbis::File vorbis(path, false); vorbis.isValid()) {
        if (vorbis.tag())
            items.xiphComment(*vorbis.tag());
    } else if (TagLib::Ogg::Opus::File opus(path, false); opus.isValid()) {
        if (opus.tag())
            items.xiphComment(*opus.tag());
    } else if (TagLib::Ogg::FLAC::File flac(path, false); flac.isValid() && flac.tag()) {
        items.xiphComment(*flac.tag());
    }
}

// WavPack, Monkey's Audio and Musepack files end in the same pair of tags.
template <typename File>
void readApeTagged(const char* path, Items& items)
{
    File file(path, false);
    if (!file.isValid())
        return;
    if (const TagLib::ID3v1::Tag* tag = file.ID3v1Tag())
        items.basicTag(*tag);
    if (const TagLib::APE::Tag* tag = file.APETag()) {
        items.basicTag(*tag);
        items.apeArtwork(*tag);
    }
}

void readTrueAudio(const char* path, Items& items)
{
    TagLib::TrueAudio::File file(path, &frameFactory(), false);
    if (!file.isValid())
        return;
    if (const TagLib::ID3v1::Tag* tag = file.ID3v1Tag())
        items.basicTag(*tag);
    if (const TagLib::ID3v2::Tag* tag = file.ID3v2Tag())
        items.id3v2(*tag);
}

void readAsf(const char* path, Items& items)
{
    TagLib::ASF::File file(path, false);
    if (file.isValid() && file.tag())
        items.asf(*file.tag());
}

std::string lowercase(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

std::vector<TagItem> read(const FileURL& file)
{
    Items items;
    const std::string extension = lowercase(file.pathExtension());
    const char* path = file.path().c_str();
    try {
        if (extension == "mp3" || extension == "aac") {
            readMpeg(path, items);
        } else if (extension == "m4a") {
            readMp4(path, items);
        } else if (extension == "flac") {
            readFlac(path, items);
        } else if (extension == "wav") {
            ChunkFile(path, ChunkFile::wav).readInto(items);
        } else if (extension == "aiff" || extension == "aif") {
            ChunkFile(path, ChunkFile::aiff).readInto(items);
        } else if (extension == "ogg" || extension == "oga" || extension == "opus") {
            readOgg(path, items);
        } else if (extension == "wv") {
            readApeTagged<TagLib::WavPack::File>(path, items);
        } else if (extension == "ape") {
            readApeTagged<TagLib::APE::File>(path, items);
        } else if (extension == "mpc") {
            readApeTagged<TagLib::MPC::File>(path, items);
        } else if (extension == "tta") {
            readTrueAudio(path, items);
        } else if (extension == "wma") {
            readAsf(path, items);
        }
    } catch (const std::exception&) {
        // TagLib reports trouble through isValid(); anything thrown (memory) leaves no tags.
        return {};
    }
    return items.take();
}

std::vector<TagItem> fromContainer(const MediaFile& media)
{
    std::vector<TagItem> items;
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(media.context()->metadata, "", entry, AV_DICT_IGNORE_SUFFIX))) {
        const std::string key = lowercase(entry->key);
        const QString value = QString::fromUtf8(entry->value);
        if (key == "title")
            items.push_back({ Key::title, Id::none, value, {} });
        else if (key == "artist" || key == "author")
            items.push_back({ Key::artist, Id::none, value, {} });
        else if (key == "album")
            items.push_back({ Key::albumName, Id::none, value, {} });
        else if (key == "date")
            items.push_back({ Key::creationDate, Id::none, value, {} });
        else if (key == "genre")
            items.push_back({ Key::none, Id::plainGenre, value, {} });
    }
    // Covers the demuxer found (a Matroska attachment, a TAK file's APE cover art).
    const AVFormatContext* context = media.context();
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVPacket& picture = context->streams[i]->attached_pic;
        if ((context->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC) && picture.size > 0 && picture.size <= maximumArtworkBytes)
            items.push_back({ Key::artwork, Id::none, {}, QByteArray(reinterpret_cast<const char*>(picture.data), picture.size) });
    }
    return items;
}

} // namespace lh::FileTags
