#pragma once

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

// One batch: every file in list order through its stamping path, on a worker thread of its own.
class BatchJob
{
public:
    using StopFlag = std::shared_ptr<std::atomic<bool>>;
    // Stamps one routed file into the output path the batch chose for it.
    using Stamper =
        std::function<FileOutcome(const QString& input, const WatermarkSnapshot&, const QString& output)>;
    using FileReported = std::function<void(const FileReport&)>;

    // The worker routine, run on the calling thread. Before the first file it names every routed
    // file's output (OutputNames) and checks an image design's picture; a picture that does not
    // decode fails every routed file unwritten. Reads the stop flag before each file (a file being
    // stamped always finishes), reports each file it reaches in list order, and calls finished
    // once at the end, whether the list ran out or a stop was seen.
    static void watermarkFiles(const QList<QUrl>& files, const WatermarkSnapshot& design,
                               const QString& outputFolder, const std::atomic<bool>& stop,
                               const FileReported& fileReported, const std::function<void()>& finished,
                               const Stamper& stamper = routedStamper());

    // Starts watermarkFiles on a new thread with copies of the files, design and folder. Each
    // callback runs on context's thread, in the order the worker made them; once context is
    // destroyed they are dropped while the batch goes on to its end. Call on the main thread.
    static void start(QList<QUrl> files, WatermarkSnapshot design, QString outputFolder, StopFlag stop,
                      QObject* context, FileReported fileReported, std::function<void()> finished);

    // Asks every running batch to stop after its current file and waits for them all. For quitting.
    static void stopAllAndWait();

    // The batch's own routing: pdf to PDF stamping; png, jpg, jpeg, tif, tiff to picture stamping.
    static Stamper routedStamper();
};
