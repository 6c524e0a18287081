#pragma once

#include "model/Result.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;

// How far one download may go: it fails when nothing arrives for transferTimeout, or once it
// would hold more than sizeLimit bytes.
struct DownloadLimits
{
    std::chrono::milliseconds transferTimeout{15000};
    qint64 sizeLimit = 1024 * 1024;
};

// One download of update information, under the rules an update check keeps: https only, plus
// file: and plain http to this computer (tests, offline mirrors); redirects to https only; the
// limits above. A failure says in words a person understands what went wrong.
class BoundedDownload : public QObject
{
    Q_OBJECT

public:
    BoundedDownload(QNetworkAccessManager& network, DownloadLimits limits, QObject* parent = nullptr);

    // Whether an address may be fetched at all.
    static bool isAllowed(const QUrl& url);

    // Fetches url; finished() follows once, always after start() has returned. Destroying the
    // download before then abandons the transfer.
    void start(const QUrl& url);

Q_SIGNALS:
    void finished(const Result<QByteArray>& content);

private:
    void watch(QNetworkReply* reply);
    void takeArrivedBytes();
    void checkAnnouncedSize();
    void followRedirect(const QUrl& target);
    void complete();
    void failLater(const QString& reason);
    void fail(const QString& reason);
    QString describeFailure() const;
    QString sizeLimitExceeded() const;

    QNetworkAccessManager& m_network;
    DownloadLimits m_limits;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_content;
    bool m_done = false;
};
