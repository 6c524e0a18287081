#pragma once

#include "home/HomeState.h"
#include "model/SavedDesigns.h"
#include "support/StdoutCapture.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QUrl>

// Real batches of the Home screen. Everything a run needs or writes lives in folder, the output
// in folder/out.
namespace HomeRun {

// Gives the state a saved design, chosen, an output folder and the files: ready to start.
inline void prepare(HomeState& state, const QString& folder, const QList<QUrl>& files)
{
    const SavedDesigns store(folder + QStringLiteral("/designs.ini"));
    StdoutCapture quiet;
    store.storeWatermarks({WatermarkSettings::makeNew()});
    state.loadWatermarks(store);
    quiet.finish();
    state.setSelectedWatermarkID(state.watermarks().front()->id());
    QDir(folder).mkpath(QStringLiteral("out"));
    state.setOutputDirectory(QUrl::fromLocalFile(folder + QStringLiteral("/out")));
    for (const QUrl& file : files)
        state.appendFile(file);
}

// Prepares one small picture and starts the batch. The state reads as running until the event
// loop delivers the batch's end, so checks made before any event is processed see a run in progress.
inline void start(HomeState& state, const QString& folder)
{
    const QString picture = folder + QStringLiteral("/run-input.png");
    TestFiles::writeSolidPicture(picture, {40, 40}, Qt::white);
    prepare(state, folder, {QUrl::fromLocalFile(picture)});
    state.startWatermarking();
}

} // namespace HomeRun
