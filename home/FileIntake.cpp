#include "home/FileIntake.h"

#include "home/FolderFiles.h"
#include "home/HomeState.h"
#include "home/WatermarkRouting.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

// What one drop comes to: the files to list, in order, and how many were turned away.
struct Judgement
{
    QList<QUrl> accepted;
    qsizetype refused = 0;
};

void judgeFile(const QString& path, Judgement& judgement)
{
    if (WatermarkRouting::contentRoute(path))
        judgement.accepted.append(QUrl::fromLocalFile(path));
    else
        ++judgement.refused;
}

Judgement judge(const QList<QUrl>& urls)
{
    QStringList paths;
    for (const QUrl& url : urls)
        paths.append(url.toLocalFile());
    Judgement judgement;
    for (const QString& file : FolderFiles::expanded(paths))
        judgeFile(file, judgement);
    return judgement;
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
    // The worker never touches the state: the judgement comes back on the state's thread, and not
    // at all once the state is gone.
    QtConcurrent::run(&judges(), judge, local).then(&state, [&state](const Judgement& judgement) {
        state.appendFiles(judgement.accepted);
        if (judgement.refused > 0)
            state.refuseFiles(judgement.refused);
    });
}

void waitForJudgements()
{
    judges().waitForDone();
}

} // namespace FileIntake
