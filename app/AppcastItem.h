#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>

// The file an update offers: where it is, how large, of which type.
struct AppcastEnclosure
{
    QUrl url;
    qint64 length = 0;
    QString type;
};

// One release in an update feed (an RSS 2.0 "appcast" with Sparkle's elements). Its links are
// http(s) only: anything else is dropped when the feed is read, so the desktop is never asked to
// open a local file or a custom handler on a feed's word.
struct AppcastItem
{
    QString title;
    QString version;            // the build version, compared with the running one
    QString shortVersionString; // what a person is shown; the build version when absent
    QDateTime publicationDate;  // invalid when absent or unreadable
    QString minimumSystemVersion;
    QUrl releaseNotesLink;
    QString description; // notes written into the feed itself
    QUrl link;           // the release's web page
    AppcastEnclosure enclosure;

    QString displayVersion() const { return shortVersionString.isEmpty() ? version : shortVersionString; }
    // What "Download" opens: the enclosure, else the web page.
    QUrl downloadUrl() const { return enclosure.url.isEmpty() ? link : enclosure.url; }
};
