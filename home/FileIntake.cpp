#include "home/FileIntake.h"

#include "home/HomeState.h"
#include "home/WatermarkRouting.h"

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
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

// A folder's files and the files of its folders, in the order a file manager shows them by
// name ("scan 2" before "scan 10"), each judged as a dropped file. Hidden entries are left out
// as a file manager leaves them out; linked folders are not entered, so a link to a folder
// above cannot make the walk endless.
// The digits from position on, and where they end.
QStringView digitsAt(QStringView name, qsizetype position)
{
    qsizetype end = position;
    while (end < name.size() && name[end].isDigit())
        ++end;
    return name.mid(position, end - position);
}

QStringView withoutLeadingZeros(QStringView digits)
{
    qsizetype zeros = 0;
    while (zeros + 1 < digits.size() && digits[zeros] == QLatin1Char('0'))
        ++zeros;
    return digits.mid(zeros);
}

// Name order as file managers show it: numbers by their value, letters ignoring case.
bool comesBefore(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const QStringView x = digitsAt(a, i);
            const QStringView y = digitsAt(b, j);
            i += x.size();
            j += y.size();
            const QStringView p = withoutLeadingZeros(x);
            const QStringView q = withoutLeadingZeros(y);
            if (p.size() != q.size())
                return p.size() < q.size();
            if (const int order = p.compare(q); order != 0)
                return order < 0;
            continue;
        }
        const QChar c = a[i++].toCaseFolded();
        const QChar d = b[j++].toCaseFolded();
        if (c != d)
            return c < d;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;
}

void judgeFolder(const QString& path, Judgement& judgement)
{
    QFileInfoList entries =
        QDir(path).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    std::sort(entries.begin(), entries.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return comesBefore(a.fileName(), b.fileName()); });
    for (const QFileInfo& entry : std::as_const(entries)) {
        if (entry.isDir() && !entry.isSymLink())
            judgeFolder(entry.filePath(), judgement);
        else if (!entry.isDir())
            judgeFile(entry.filePath(), judgement);
    }
}

Judgement judge(const QList<QUrl>& urls)
{
    Judgement judgement;
    for (const QUrl& url : urls) {
        const QString path = url.toLocalFile();
        if (QFileInfo(path).isDir())
            judgeFolder(path, judgement);
        else
            judgeFile(path, judgement);
    }
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
