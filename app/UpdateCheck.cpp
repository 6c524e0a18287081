#include "app/UpdateCheck.h"

#include "app/newestUpdate.h"
#include "app/parseAppcast.h"

#include <QTextDocument>

namespace {

// Notes written into the feed, else the link to them, for when they cannot be fetched.
QString notesWithoutFetching(const AppcastItem& item)
{
    if (!item.description.isEmpty() || item.releaseNotesLink.isEmpty())
        return item.description;
    const QString link = item.releaseNotesLink.toString().toHtmlEscaped();
    return QObject::tr("<p>Release notes: <a href=\"%1\">%1</a></p>").arg(link);
}

QString richText(const QByteArray& notes)
{
    const QString text = QString::fromUtf8(notes);
    return Qt::mightBeRichText(text) ? text : Qt::convertFromPlainText(text);
}

} // namespace

UpdateCheck::UpdateCheck(QNetworkAccessManager& network, UpdaterConfiguration configuration,
                         QString skippedVersion, QObject* parent)
    : QObject(parent), m_network(network), m_configuration(std::move(configuration)),
      m_skippedVersion(std::move(skippedVersion))
{}

void UpdateCheck::start()
{
    if (!m_configuration.feedUrl.isEmpty())
        return fetch(m_configuration.feedUrl, [this](const Result<QByteArray>& feed) { readFeed(feed); });
    const CheckOutcome none = CheckOutcome::failure(
        tr("This copy of Dador Aduravuzo was built without an address to look for updates at."));
    QMetaObject::invokeMethod(
        this, [this, none] { Q_EMIT finished(none); }, Qt::QueuedConnection);
}

void UpdateCheck::fetch(const QUrl& url, std::function<void(const Result<QByteArray>&)> then)
{
    auto* download = new BoundedDownload(m_network, m_configuration.limits, this);
    connect(download, &BoundedDownload::finished, this,
            [download, then = std::move(then)](const auto& content) {
                download->deleteLater();
                then(content);
            });
    download->start(url);
}

void UpdateCheck::readFeed(const Result<QByteArray>& feed)
{
    if (!feed)
        return Q_EMIT finished(CheckOutcome::failure(feed.error()));
    const auto items = parseAppcast(*feed);
    if (!items)
        return Q_EMIT finished(CheckOutcome::failure(
            tr("The update information from the server cannot be read: %1.").arg(items.error())));
    const auto update = newestUpdate(*items, m_configuration.runningVersion, m_skippedVersion);
    if (!update)
        return Q_EMIT finished(std::optional<FoundUpdate>());
    fetchReleaseNotes(*update);
}

// Only notes on the web are fetched, under the same rules as the feed; any failure shows the link.
void UpdateCheck::fetchReleaseNotes(const AppcastItem& item)
{
    if (!BoundedDownload::isAllowed(item.releaseNotesLink))
        return Q_EMIT finished(std::optional(FoundUpdate{item, notesWithoutFetching(item)}));
    fetch(item.releaseNotesLink, [this, item](const Result<QByteArray>& notes) {
        const QString text = notes ? richText(*notes) : notesWithoutFetching(item);
        Q_EMIT finished(std::optional(FoundUpdate{item, text}));
    });
}
