#include "app/parseAppcast.h"

#include <QObject>
#include <QXmlStreamReader>

namespace {

const QString sparkleNamespace = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

// Versions that older feeds put on the enclosure; the item's own elements take precedence.
struct EnclosureVersions
{
    QString version;
    QString shortVersionString;
};

QUrl webLink(QStringView text)
{
    const QUrl url(text.trimmed().toString(), QUrl::StrictMode);
    const bool web = url.isValid() && (url.scheme() == u"https" || url.scheme() == u"http");
    return web ? url : QUrl();
}

void readEnclosure(QXmlStreamReader& xml, AppcastItem& item, EnclosureVersions& versions)
{
    const QXmlStreamAttributes attributes = xml.attributes();
    item.enclosure = {webLink(attributes.value(QLatin1String("url"))),
                      attributes.value(QLatin1String("length")).toLongLong(),
                      attributes.value(QLatin1String("type")).toString()};
    versions = {attributes.value(sparkleNamespace, QLatin1String("version")).toString(),
                attributes.value(sparkleNamespace, QLatin1String("shortVersionString")).toString()};
    xml.skipCurrentElement();
}

void readTextElement(QXmlStreamReader& xml, AppcastItem& item)
{
    const bool sparkle = xml.namespaceUri() == sparkleNamespace;
    const bool plain = xml.namespaceUri().isEmpty();
    const QString name = xml.name().toString();
    const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
    if (plain && name == u"title")
        item.title = text;
    else if (plain && name == u"link")
        item.link = webLink(text);
    else if (plain && name == u"description")
        item.description = text;
    else if (plain && name == u"pubDate")
        item.publicationDate = QDateTime::fromString(text, Qt::RFC2822Date);
    else if (sparkle && name == u"version")
        item.version = text;
    else if (sparkle && name == u"shortVersionString")
        item.shortVersionString = text;
    else if (sparkle && name == u"minimumSystemVersion")
        item.minimumSystemVersion = text;
    else if (sparkle && name == u"releaseNotesLink")
        item.releaseNotesLink = webLink(text);
}

AppcastItem readItem(QXmlStreamReader& xml)
{
    AppcastItem item;
    EnclosureVersions fromEnclosure;
    while (xml.readNextStartElement()) {
        if (xml.namespaceUri().isEmpty() && xml.name() == u"enclosure")
            readEnclosure(xml, item, fromEnclosure);
        else
            readTextElement(xml, item);
    }
    if (item.version.isEmpty())
        item.version = fromEnclosure.version;
    if (item.shortVersionString.isEmpty())
        item.shortVersionString = fromEnclosure.shortVersionString;
    return item;
}

// Reads the channel's items, leaving the reader after the channel.
void readChannel(QXmlStreamReader& xml, std::vector<AppcastItem>& items)
{
    while (xml.readNextStartElement()) {
        if (xml.name() != u"item") {
            xml.skipCurrentElement();
            continue;
        }
        AppcastItem item = readItem(xml);
        if (!item.version.isEmpty())
            items.push_back(std::move(item));
    }
}

} // namespace

Result<std::vector<AppcastItem>> parseAppcast(const QByteArray& feed)
{
    using Items = Result<std::vector<AppcastItem>>;
    QXmlStreamReader xml(feed);
    const bool rss = xml.readNextStartElement() && xml.name() == u"rss";
    std::vector<AppcastItem> items;
    bool hasChannel = false;
    while (rss && xml.readNextStartElement()) {
        if (xml.name() == u"channel") {
            hasChannel = true;
            readChannel(xml, items);
        } else {
            xml.skipCurrentElement();
        }
    }
    // A page that is not RSS at all (a login page put up by a network, say) is no feed, however damaged.
    if (rss && xml.hasError())
        return Items::failure(QObject::tr("it is damaged at line %1 (%2)")
                                  .arg(xml.lineNumber())
                                  .arg(xml.errorString().endsWith(QLatin1Char('.'))
                                           ? xml.errorString().chopped(1)
                                           : xml.errorString()));
    if (!hasChannel)
        return Items::failure(QObject::tr("it is not an update feed"));
    return items;
}
