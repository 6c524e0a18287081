#include "home/ShellBatch.h"

#include "home/BatchJob.h"
#include "home/FolderFiles.h"
#include "home/batchSummary.h"
#include "model/SavedDesigns.h"
#include "model/StandardOutput.h"
#include "model/WatermarkCoding.h"
#include "render/RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

// A design file holds one design of a few hundred bytes; anything far larger is not one.
constexpr qint64 largestDesignFile = 1 << 20;

std::atomic<bool> stopRequested = false;

extern "C" void requestStop(int)
{
    stopRequested = true; // lock-free, so safe in a signal handler
}

// The first interrupt stops the batch after the files in flight; a second one ends the program
// as it would have without this.
void stopOnSignals()
{
    struct sigaction action = {};
    action.sa_handler = requestStop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void print(FILE* stream, const QString& line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream); // one write a line: no interleaving
    std::fflush(stream);
}

int usage(const QString& reason)
{
    print(stderr, QStringLiteral("dador-aduravuzo: ") + reason);
    return ShellBatch::usageError;
}

Result<WatermarkSnapshot> designFromFile(const QString& path)
{
    const auto file = RegularFile::open(path);
    if (!file)
        return Result<WatermarkSnapshot>::failure(file.error());
    if (file->size() > largestDesignFile)
        return Result<WatermarkSnapshot>::failure(QStringLiteral("too large to be a design"));
    const auto bytes = file->readAt(0, file->size());
    if (!bytes)
        return Result<WatermarkSnapshot>::failure(bytes.error());
    return WatermarkCoding::decodeOne(QByteArray::fromStdString(*bytes));
}

// A saved design of that name, or else the design in the file of that name.
Result<WatermarkSnapshot> findDesign(const QString& name, const QString& preferencesFile)
{
    std::vector<WatermarkSnapshot> named;
    for (const auto& saved : SavedDesigns(preferencesFile).loadWatermarks().value_or(WatermarkList())) {
        if (saved->watermarkName() == name)
            named.push_back(saved->snapshot());
    }
    if (named.size() == 1)
        return named.front();
    if (named.size() > 1)
        return Result<WatermarkSnapshot>::failure(
            QStringLiteral("%1 saved designs are named “%2”; rename one, or give a design file")
                .arg(named.size())
                .arg(name));
    if (!QFileInfo::exists(name))
        return Result<WatermarkSnapshot>::failure(QStringLiteral("no saved design is named “%1”").arg(name));
    const auto fromFile = designFromFile(name);
    if (!fromFile)
        return Result<WatermarkSnapshot>::failure(
            QStringLiteral("the design file %1 cannot be read: %2").arg(name, fromFile.error()));
    return fromFile;
}

// The files to stamp, each once, in the order given, a folder's files in their name order; with
// the path each was given by, for the lines printed.
QList<QUrl> filesOf(const QStringList& inputs, QHash<QUrl, QString>& given)
{
    QList<QUrl> files;
    for (const QString& path : FolderFiles::expanded(inputs)) {
        const QUrl file = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        if (!given.contains(file)) {
            files.append(file);
            given.insert(file, path);
        }
    }
    return files;
}

} // namespace

namespace ShellBatch {

int run(const Request& request, const QString& preferencesFile)
{
    StandardOutput::silence();
    if (!QFileInfo(request.outputFolder).isDir())
        return usage(QStringLiteral("the output folder %1 does not exist").arg(request.outputFolder));
    const auto found = findDesign(request.design, preferencesFile);
    if (!found)
        return usage(found.error());
    const WatermarkSnapshot design = BatchJob::addressedTo(*found, request.recipient);

    QHash<QUrl, QString> named;
    const QList<QUrl> files = filesOf(request.inputs, named);
    const QHash<QUrl, QString>& given = named; // read from several workers at once, never changed
    std::atomic<qint64> reached = 0;
    std::atomic<qint64> failed = 0;
    stopRequested = false;
    stopOnSignals();
    // Reports come from the workers as files end; each line is one write.
    BatchJob::watermarkFiles(
        files, design, QFileInfo(request.outputFolder).absoluteFilePath(), stopRequested,
        [&](const FileReport& report) {
            const QString input = given.value(report.file);
            switch (report.status) {
            case FileReport::Status::written:
                print(stdout, QStringLiteral("written ") + report.output);
                break;
            case FileReport::Status::failed:
                print(stdout, QStringLiteral("not watermarked %1: %2").arg(input, report.reason));
                break;
            case FileReport::Status::skipped:
                print(stdout, QStringLiteral("skipped %1: %2").arg(input, report.reason));
                return;
            }
            ++reached;
            failed += report.status == FileReport::Status::failed;
        },
        [] {}, BatchJob::routedStamper(), request.workers);
    print(stdout, batchSummary(stopRequested, reached, failed, files.size()));
    return failed == 0 && !stopRequested ? allWritten : notAllWritten;
}

int listDesigns(const QString& preferencesFile)
{
    StandardOutput::silence();
    for (const auto& saved : SavedDesigns(preferencesFile).loadWatermarks().value_or(WatermarkList()))
        print(stdout, saved->watermarkName());
    return allWritten;
}

} // namespace ShellBatch
