#include "home/BatchJob.h"

#include "home/FileFootprint.h"
#include "home/OutputNames.h"
#include "home/WatermarkRouting.h"
#include "model/TextFields.h"
#include "render/FileMetadata.h"
#include "render/drawWatermark.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QImage>
#include <QPainter>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <vector>

namespace {

struct RunningBatch
{
    QFuture<FileReport> batch;
    BatchJob::StopFlag stop;
};

// Batches still running, touched only on the main thread.
std::vector<RunningBatch>& runningBatches()
{
    static std::vector<RunningBatch> batches;
    return batches;
}

QString notRouted()
{
    return QStringLiteral("not a PDF, PNG, JPEG or TIFF file");
}

QString unreadablePicture()
{
    return QStringLiteral("the design's picture cannot be read");
}

QString drawsNothing()
{
    return QStringLiteral("the design draws nothing on this page");
}

// Whether the design leaves a visible mark on a page: a font size, picture size, colour or
// opacity that draws nothing would otherwise give outputs without a mark reported as stamped.
// Tried on an A4 page at one pixel per point; the mark is centred on a point of the page, so
// what shows there shows on a page of any size.
bool drawsSomething(const WatermarkSnapshot& design)
{
    QImage page(595, 842, QImage::Format_ARGB32_Premultiplied);
    page.fill(Qt::transparent);
    {
        QPainter painter(&page);
        drawWatermark(painter, design, QRectF(QPointF(0, 0), QSizeF(page.size())));
    }
    for (int y = 0; y < page.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(page.constScanLine(y));
        if (std::any_of(line, line + page.width(), [](QRgb pixel) { return qAlpha(pixel) != 0; }))
            return true;
    }
    return false;
}

// The design as it draws on one file: its text's fields for the file filled in ({filename}, {date},
// {n}, {exif:…}), still a text with fields, which the stamping of each page expands.
WatermarkSnapshot forFile(const WatermarkSnapshot& design, const QString& input, int number,
                          const QString& date)
{
    if (design.type != WatermarkType::text)
        return design;
    TextFields::Values values;
    values.fileName = QFileInfo(input).completeBaseName();
    values.date = date;
    values.number = number;
    values.metadata = FileMetadata::of(input);
    WatermarkSnapshot filled = design;
    filled.text = TextFields::fill(design.text, values);
    return filled;
}

FileReport reportFor(const QUrl& file, const FileOutcome& outcome)
{
    if (outcome.ok())
        return {file, FileReport::Status::written, outcome.value(), outcome.note()};
    return {file, FileReport::Status::failed, {}, outcome.error()};
}

} // namespace

void BatchJob::watermarkFiles(const QList<QUrl>& files, const WatermarkSnapshot& design,
                              const QString& outputFolder, const std::atomic<bool>& stop,
                              const FileReported& fileReported, const std::function<void()>& finished,
                              const Stamper& stamper, int workers)
{
    QStringList inputs;
    inputs.reserve(files.size());
    for (const QUrl& file : files)
        inputs.append(file.toLocalFile());
    const QStringList outputs = OutputNames::forBatch(inputs, outputFolder);
    // The drawing routine draws nothing for a picture it cannot decode: without this check every
    // output would be a plain copy reported as stamped. Each worker decodes the picture once more
    // for its own drawing.
    const bool pictureReadable = designPictureDecodes(design);
    const bool visible = pictureReadable && drawsSomething(design);
    // The fields' values: routed files are numbered from 1 in list order; the date is the run's.
    std::vector<int> numbers(files.size(), 0);
    for (qsizetype i = 0, routed = 0; i < files.size(); ++i)
        numbers[i] = outputs[i].isEmpty() ? 0 : int(++routed);
    const QString today = TextFields::today();
    const auto reportOn = [&](qsizetype i) -> FileReport {
        if (outputs[i].isEmpty())
            return {files[i], FileReport::Status::skipped, {}, notRouted()};
        if (!pictureReadable)
            return {files[i], FileReport::Status::failed, {}, unreadablePicture()};
        if (!visible)
            return {files[i], FileReport::Status::failed, {}, drawsNothing()};
        const WatermarkSnapshot filled = forFile(design, inputs[i], numbers[i], today);
        // A field may leave the text blank for this file: stamping would show no mark.
        if (filled.text != design.text && !drawsSomething(TextFields::onPage(filled, 1, 1)))
            return {files[i], FileReport::Status::failed, {}, drawsNothing()};
        return reportFor(files[i], stamper(inputs[i], filled, outputs[i]));
    };
    // Files that are not stamped hold nothing.
    const auto footprint = [&](qsizetype i) {
        return outputs[i].isEmpty() || !visible ? 0 : FileFootprint::of(inputs[i]);
    };

    BatchPool pool(workers, BatchPool::machineBudget());
    pool.run(files.size(), stop, footprint, [&](qsizetype i) { fileReported(reportOn(i)); });
    finished();
}

void BatchJob::start(QList<QUrl> files, WatermarkSnapshot design, QString outputFolder, StopFlag stop,
                     QObject* context, FileReported fileReported, std::function<void()> finished)
{
    // The watcher belongs to the context, so nothing reaches a context that is gone, while the
    // batch goes on to its end.
    auto* watcher = new QFutureWatcher<FileReport>(context);
    QObject::connect(watcher, &QFutureWatcherBase::resultsReadyAt, watcher,
                     [watcher, fileReported](int begin, int end) {
                         for (int i = begin; i < end; ++i)
                             fileReported(watcher->resultAt(i));
                     });
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, [watcher, finished] {
        watcher->deleteLater();
        finished();
    });
    QFuture<FileReport> batch =
        QtConcurrent::run([files = std::move(files), design = std::move(design),
                           outputFolder = std::move(outputFolder), stop](QPromise<FileReport>& promise) {
            watermarkFiles(
                files, design, outputFolder, *stop,
                [&promise](const FileReport& report) { promise.addResult(report); }, [] {});
        });
    watcher->setFuture(batch);
    auto& batches = runningBatches();
    std::erase_if(batches, [](const RunningBatch& running) { return running.batch.isFinished(); });
    batches.push_back({batch, stop});
}

void BatchJob::stopAllAndWait()
{
    auto& batches = runningBatches();
    for (auto& running : batches)
        running.stop->store(true);
    for (auto& running : batches)
        running.batch.waitForFinished();
    batches.clear();
}

WatermarkSnapshot BatchJob::addressedTo(WatermarkSnapshot design, const QString& recipient)
{
    TextFields::Values forEveryFile;
    forEveryFile.recipient = recipient;
    design.text = TextFields::fill(design.text, forEveryFile);
    return design;
}

BatchJob::Stamper BatchJob::routedStamper()
{
    return [](const QString& input, const WatermarkSnapshot& design, const QString& output) {
        const auto outcome = WatermarkRouting::watermarkFile(input, design, output);
        return outcome ? *outcome : FileOutcome::failure(notRouted());
    };
}
