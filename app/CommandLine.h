#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

// What the program is started with. A file manager's "Open With" starts it with the chosen files
// as paths (the desktop entry's %F); they go to the Home screen as if dropped there.
namespace CommandLine {

// The files named by arguments (the program's name first, as QCoreApplication::arguments() gives
// them) as file URLs of their absolute paths, in their order. Judging them is the intake's job.
// Prints the help or the version and exits on --help or --version, and prints the error and
// exits on an unknown option.
QList<QUrl> filesToOpen(const QStringList& arguments);

} // namespace CommandLine
