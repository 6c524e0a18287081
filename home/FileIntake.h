#pragma once

#include <QList>
#include <QUrl>

class HomeState;
class QDropEvent;
class QMimeData;

// How dropped files join the Home screen's list, wherever they were dropped or however they were
// chosen: only regular PDF, PNG, JPEG and TIFF files, judged by their content off the main
// thread, appended in the order the drops listed them; a folder brings its files and those of its
// folders, in name order.
namespace FileIntake {

// The drag carries at least one local file, so it may be dropped.
bool carriesLocalFiles(const QMimeData* data);

// Accepts a drag or drop of files as a copy: they are only read, so a drag that offers to move
// them must not have its source delete them.
void acceptAsCopy(QDropEvent* event);

// Judges the local files and folders among urls on a background thread and appends the accepted
// files to state in one change, in their order and after those of every earlier drop; the state
// hears how many were turned away. Nothing reaches a state destroyed in the meantime.
void take(HomeState& state, const QList<QUrl>& urls);

// Blocks until every drop taken so far is judged; the accepted files still arrive through the
// event loop.
void waitForJudgements();

} // namespace FileIntake
