#pragma once

#include "app/BoundedDownload.h"

#include <QString>
#include <QUrl>

// Where the updater looks for updates and what it compares them with.
struct UpdaterConfiguration
{
    QUrl feedUrl; // empty when this build was given none
    QString runningVersion;
    DownloadLimits limits;
    QString preferencesFile; // empty for the user's own preferences

    // This build's feed, set by the packager (WATERMARK_UPDATE_FEED_URL), or the one named by the
    // DADOR_ADURAVUZO_UPDATE_FEED environment variable, for tests and offline mirrors; the
    // project's version as the running one.
    static UpdaterConfiguration standard();
};
