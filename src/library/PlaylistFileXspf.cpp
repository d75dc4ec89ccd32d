// XSPF: the XML format. Read with entity expansion out of the question: a document that
// declares a document type (where entities are declared) is refused before anything is read.
#include "PlaylistFile.h"

#include "PlaylistEntry.h"

#include <QXmlStreamReader>

#include <vector>

namespace lh {
namespace {

const QString xmlNamespace = QStringLiteral("http://www.w3.org/XML/1998/namespace");

struct Element {
    QString name;
    std::optional<std::string> base; // the xml:base in effect, as a local path
};

std::string utf8(QStringView text)
{
    return text.toUtf8().toStdString();
}

} // namespace

PlaylistFile::Contents PlaylistFile::readXspf(const FileURL& listURL, const QByteArray& bytes)
{
    QXmlStreamReader xml(bytes);
    std::vector<Element> open;
    Contents contents;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::DTD)
            return failed(QStringLiteral("declares a document type, which is not read (entities are not expanded)"));
        if (token == QXmlStreamReader::EndElement) {
            open.pop_back();
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (open.empty() && xml.name() != u"playlist")
            return failed(QStringLiteral("not an XSPF playlist (its root is <%1>)").arg(xml.name()));
        std::optional<std::string> base = open.empty() ? std::optional(listURL.path()) : open.back().base;
        const QStringView baseAttribute = xml.attributes().value(xmlNamespace, QStringLiteral("base"));
        if (!baseAttribute.isEmpty())
            base = PlaylistEntry::resolveBase(utf8(baseAttribute), base);
        const bool isLocation = xml.name() == u"location" && !open.empty() && open.back().name == u"track";
        if (!isLocation) {
            open.push_back({ xml.name().toString(), std::move(base) });
            continue;
        }
        const std::string location = utf8(xml.readElementText(QXmlStreamReader::SkipChildElements));
        PlaylistEntry::addTo(contents, location, PlaylistEntry::fromURI(location, base));
        if (isOverBound(contents))
            return failed(tooManyEntries());
    }
    if (xml.hasError())
        return failed(QStringLiteral("not valid XML: %1 (line %2)").arg(xml.errorString()).arg(xml.lineNumber()));
    return contents;
}

} // namespace lh
