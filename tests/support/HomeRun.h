#pragma once

#include "home/HomeState.h"
#include "model/SavedDesigns.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QUrl>

// A real batch for screens that must behave differently during a run.
namespace HomeRun {

// Gives the state a saved design, a folder and one small picture, and starts the batch. The state
// reads as running until the event loop delivers the batch's end, so checks made before any
// event is processed see a run in progress. Everything the run needs or writes lives in folder.
inline void start(HomeState& state, const QString& folder)
{
    const SavedDesigns store(folder + QStringLiteral("/designs.ini"));
    store.storeWatermarks({WatermarkSettings::makeNew()});
    state.loadWatermarks(store);
    state.setSelectedWatermarkID(state.watermarks().front()->id());
    const QString picture = folder + QStringLiteral("/run-input.png");
    TestFiles::writeSolidPicture(picture, {40, 40}, Qt::white);
    state.appendFile(QUrl::fromLocalFile(picture));
    QDir(folder).mkpath(QStringLiteral("out"));
    state.setOutputDirectory(QUrl::fromLocalFile(folder + QStringLiteral("/out")));
    state.startWatermarking();
}

} // namespace HomeRun
