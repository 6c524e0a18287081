#include "app/BoundedDownload.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHostAddress>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {

constexpr int maximumRedirects = 5;

QString seconds(std::chrono::milliseconds duration)
{
    return QString::number(std::chrono::duration<double>(duration).count(), 'g', 3);
}

QString noConnection()
{
    return QObject::tr("The update server could not be reached. Check that this computer is connected to "
                       "the internet, then try again.");
}

} // namespace

BoundedDownload::BoundedDownload(QNetworkAccessManager& network, DownloadLimits limits, QObject* parent)
    : QObject(parent), m_network(network), m_limits(limits)
{}

// Plain http is accepted only when it cannot leave this computer: an address on the loopback.
bool BoundedDownload::isAllowed(const QUrl& url)
{
    if (!url.isValid())
        return false;
    if (url.scheme() == u"https" || url.isLocalFile())
        return true;
    return url.scheme() == u"http" && QHostAddress(url.host()).isLoopback();
}

void BoundedDownload::start(const QUrl& url)
{
    if (!isAllowed(url))
        return failLater(
            tr("The update address “%1” is not a secure one; updates are only fetched over https.")
                .arg(url.toDisplayString()));
    // Opening a FIFO would stop the whole application until something writes to it.
    if (url.isLocalFile() && !QFileInfo(url.toLocalFile()).isFile())
        return failLater(tr("The update information “%1” is not a file.").arg(url.toLocalFile()));
    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(m_limits.transferTimeout.count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(maximumRedirects);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("%1/%2").arg(QCoreApplication::applicationName(),
                                                  QCoreApplication::applicationVersion()));
    watch(m_network.get(request));
}

void BoundedDownload::watch(QNetworkReply* reply)
{
    m_reply = reply;
    reply->setParent(this);
    connect(reply, &QNetworkReply::metaDataChanged, this, &BoundedDownload::checkAnnouncedSize);
    connect(reply, &QNetworkReply::readyRead, this, &BoundedDownload::takeArrivedBytes);
    connect(reply, &QNetworkReply::redirected, this, &BoundedDownload::followRedirect);
    connect(reply, &QNetworkReply::finished, this, &BoundedDownload::complete);
}

void BoundedDownload::checkAnnouncedSize()
{
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_limits.sizeLimit)
        fail(sizeLimitExceeded());
}

// The bytes are taken as they arrive, so a server that sends without end is stopped at the limit
// instead of filling the memory.
void BoundedDownload::takeArrivedBytes()
{
    m_content += m_reply->read(m_limits.sizeLimit + 1 - m_content.size());
    if (m_content.size() > m_limits.sizeLimit)
        fail(sizeLimitExceeded());
}

// A redirect may lead from loopback http to https, never from https to anything less.
void BoundedDownload::followRedirect(const QUrl& target)
{
    if (target.scheme() == u"https")
        Q_EMIT m_reply->redirectAllowed();
    else
        fail(tr("The update server sent the request on to “%1”, which is not a secure address.")
                 .arg(target.toDisplayString()));
}

void BoundedDownload::complete()
{
    if (m_done)
        return;
    if (m_reply->error() != QNetworkReply::NoError)
        return fail(describeFailure());
    takeArrivedBytes();
    if (m_done)
        return;
    m_done = true;
    Q_EMIT finished(m_content);
}

void BoundedDownload::failLater(const QString& reason)
{
    QMetaObject::invokeMethod(
        this, [this, reason] { fail(reason); }, Qt::QueuedConnection);
}

void BoundedDownload::fail(const QString& reason)
{
    if (m_done)
        return;
    m_done = true;
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
    Q_EMIT finished(Result<QByteArray>::failure(reason));
}

QString BoundedDownload::describeFailure() const
{
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400)
        return tr("The update server answered with an error: %1 %2.")
            .arg(status)
            .arg(m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    switch (m_reply->error()) {
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return noConnection();
    // The transfer timeout aborts the request: nothing else here cancels it while it is watched.
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return tr("The update server did not answer within %1 seconds. Try again later.")
            .arg(seconds(m_limits.transferTimeout));
    case QNetworkReply::SslHandshakeFailedError:
        return tr("The update server's identity could not be verified, so nothing was read from it.");
    case QNetworkReply::ContentNotFoundError:
        return tr("The update information was not found at “%1”.").arg(m_reply->url().toDisplayString());
    default:
        return tr("The update information could not be fetched: %1.").arg(m_reply->errorString());
    }
}

QString BoundedDownload::sizeLimitExceeded() const
{
    return tr("The update information is larger than %1, far more than a list of updates can be, so it was "
              "not "
              "read.")
        .arg(QLocale().formattedDataSize(m_limits.sizeLimit, 0, QLocale::DataSizeTraditionalFormat));
}
