#pragma once

#include "app/AppcastItem.h"
#include "app/UpdaterConfiguration.h"
#include "model/Result.h"

#include <QObject>

#include <optional>

class QNetworkAccessManager;

// An update worth offering, with its release notes as rich text.
struct FoundUpdate
{
    AppcastItem item;
    QString releaseNotes;
};

// What a check found: an update, nothing newer than the running version, or the failure in words.
using CheckOutcome = Result<std::optional<FoundUpdate>>;

// One check: fetches the feed, picks the update to offer and fetches its release notes.
class UpdateCheck : public QObject
{
    Q_OBJECT

public:
    UpdateCheck(QNetworkAccessManager& network, UpdaterConfiguration configuration, QString skippedVersion,
                QObject* parent = nullptr);

    // finished() follows once, always after start() has returned; destroying the check before
    // then abandons it.
    void start();

Q_SIGNALS:
    void finished(const CheckOutcome& outcome);

private:
    void readFeed(const Result<QByteArray>& feed);
    void fetchReleaseNotes(const AppcastItem& item);
    void fetch(const QUrl& url, std::function<void(const Result<QByteArray>&)> then);

    QNetworkAccessManager& m_network;
    UpdaterConfiguration m_configuration;
    QString m_skippedVersion;
};
