#pragma once

#include "home/BatchPool.h"
#include "home/FileReport.h"
#include "model/WatermarkSnapshot.h"
#include "render/FileOutcome.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>

class QObject;

// One batch: every file through its stamping path, several at once (BatchPool), from a worker
// thread of its own.
class BatchJob
{
public:
    using StopFlag = std::shared_ptr<std::atomic<bool>>;
    // Stamps one routed file into the output path the batch chose for it. Called for several
    // files at once, from the pool's workers.
    using Stamper =
        std::function<FileOutcome(const QString& input, const WatermarkSnapshot&, const QString& output)>;
    using FileReported = std::function<void(const FileReport&)>;

    // The batch routine, run from the calling thread. Before the first file it names every routed
    // file's output (OutputNames, in list order) and checks an image design's picture; a picture
    // that does not decode, or a design that leaves no visible mark on a page, fails every routed
    // file unwritten. Then the files go through a pool of `workers` threads while the calling
    // thread waits, starting in list order while their estimated
    // memory (FileFootprint) fits the machine's budget. Each file reached is reported as it
    // finishes, on the worker that stamped it, so reports come in finishing order and from
    // several threads at once. Once stop is set no further file starts; the files in flight
    // finish and are reported. finished is called once, on the calling thread, after the last.
    // A text design's fields are filled in per file ({filename}, {date}, {n}, {exif:…}); a file
    // whose filled text draws nothing fails unwritten.
    static void watermarkFiles(const QList<QUrl>& files, const WatermarkSnapshot& design,
                               const QString& outputFolder, const std::atomic<bool>& stop,
                               const FileReported& fileReported, const std::function<void()>& finished,
                               const Stamper& stamper = routedStamper(),
                               int workers = BatchPool::machineWorkers());

    // Starts watermarkFiles in the background (QtConcurrent) with copies of the files, design and
    // folder, with the machine's pool. Each callback runs on context's thread, in the order the
    // workers made them; once context is destroyed they are dropped while the batch goes on to
    // its end. Call on the main thread.
    static void start(QList<QUrl> files, WatermarkSnapshot design, QString outputFolder, StopFlag stop,
                      QObject* context, FileReported fileReported, std::function<void()> finished);

    // Asks every running batch to stop and waits for them all, the files in flight finished. For
    // quitting.
    static void stopAllAndWait();

    // The design with whom its copies are for filled into its text's {recipient}, for every file
    // of a run.
    static WatermarkSnapshot addressedTo(WatermarkSnapshot design, const QString& recipient);

    // The batch's own routing: pdf to PDF stamping; png, jpg, jpeg, tif, tiff to picture stamping.
    static Stamper routedStamper();
};
