#include "home/FileIntake.h"

#include "home/HomeState.h"
#include "home/MainThread.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>

#include <sys/stat.h>

namespace {

// Reading a FIFO or a device waits for a writer or never ends, so only a regular file (after
// following links) is ever opened. Asking the file's status opens nothing.
bool isRegularFile(const QString& path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

// Judged by content, since a name says nothing about what a file holds. Safe on any thread.
bool isAcceptedFile(const QString& path)
{
    if (!isRegularFile(path))
        return false;
    // Exact names: a type that merely derives from one of these (a PDF-based format, say) is out.
    static const QStringList accepted{QStringLiteral("application/pdf"), QStringLiteral("image/png"),
                                      QStringLiteral("image/jpeg"), QStringLiteral("image/tiff")};
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchContent);
    return accepted.contains(type.name());
}

void waitAtQuit()
{
    FileIntake::waitForJudgements();
}

// One thread judges the drops one after another, so a later drop never overtakes an earlier one.
// It belongs to the application and is drained before the application goes.
QThreadPool& judges()
{
    static QThreadPool* const pool = [] {
        auto* created = new QThreadPool(QCoreApplication::instance());
        created->setMaxThreadCount(1);
        qAddPostRoutine(waitAtQuit);
        return created;
    }();
    return *pool;
}

} // namespace

namespace FileIntake {

bool carriesLocalFiles(const QMimeData* data)
{
    const QList<QUrl> urls = data && data->hasUrls() ? data->urls() : QList<QUrl>();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

void acceptAsCopy(QDropEvent* event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void take(HomeState& state, const QList<QUrl>& urls)
{
    QList<QUrl> local;
    std::copy_if(urls.begin(), urls.end(), std::back_inserter(local),
                 [](const QUrl& url) { return url.isLocalFile(); });
    if (local.isEmpty())
        return;
    // The worker never touches the state; a screen closed in the meantime drops the post.
    const QPointer<HomeState> target(&state);
    judges().start([target, local] {
        QList<QUrl> accepted;
        for (const QUrl& url : local) {
            if (isAcceptedFile(url.toLocalFile()))
                accepted.append(url);
        }
        if (accepted.isEmpty())
            return;
        MainThread::post(target, [target, accepted] {
            for (const QUrl& url : accepted)
                target->appendFile(url);
        });
    });
}

void waitForJudgements()
{
    judges().waitForDone();
}

} // namespace FileIntake
