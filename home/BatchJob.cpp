#include "home/BatchJob.h"

#include "home/MainThread.h"
#include "home/WatermarkRouting.h"

#include <QPointer>
#include <QThread>

#include <vector>

namespace {

struct RunningBatch
{
    QPointer<QThread> thread;
    BatchJob::StopFlag stop;
};

// Batches still running, touched only on the main thread.
std::vector<RunningBatch>& runningBatches()
{
    static std::vector<RunningBatch> batches;
    return batches;
}

} // namespace

void BatchJob::watermarkFiles(const QList<QUrl>& files, const WatermarkSnapshot& design,
                              const QString& outputFolder, const std::atomic<bool>& stop,
                              const std::function<void()>& fileHandled, const std::function<void()>& finished,
                              const Stamper& stamper)
{
    for (const QUrl& file : files) {
        if (stop.load())
            break;
        if (stamper(file.toLocalFile(), design, outputFolder))
            fileHandled();
    }
    finished();
}

void BatchJob::start(QList<QUrl> files, WatermarkSnapshot design, QString outputFolder, StopFlag stop,
                     QObject* context, std::function<void()> fileHandled, std::function<void()> finished)
{
    const QPointer<QObject> receiver(context);
    QThread* thread = QThread::create(
        [=, files = std::move(files), design = std::move(design), outputFolder = std::move(outputFolder)] {
            watermarkFiles(
                files, design, outputFolder, *stop, [&] { MainThread::post(receiver, fileHandled); },
                [&] { MainThread::post(receiver, finished); });
        });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    auto& batches = runningBatches();
    std::erase_if(batches, [](const RunningBatch& batch) { return batch.thread.isNull(); });
    batches.push_back({thread, stop});
    thread->start();
}

void BatchJob::stopAllAndWait()
{
    auto& batches = runningBatches();
    for (auto& batch : batches)
        batch.stop->store(true);
    for (auto& batch : batches) {
        if (batch.thread) {
            batch.thread->wait();
            delete batch.thread; // its deleteLater would not run once the event loop has ended
        }
    }
    batches.clear();
}

BatchJob::Stamper BatchJob::routedStamper()
{
    return [](const QString& path, const WatermarkSnapshot& design, const QString& folder) {
        return WatermarkRouting::watermarkFile(path, design, folder).has_value();
    };
}
