#pragma once

#include "home/ShellBatch.h"

#include <QList>
#include <QStringList>
#include <QUrl>

// What the program is started with. A file manager's "Open With" starts it with the chosen files
// as paths (the desktop entry's %F); they go to the Home screen as if dropped there. With
// --design, --output or --list-designs it runs from the shell instead, without a window.
namespace CommandLine {

struct Request
{
    enum class Action
    {
        openWindow,  // files: to list on the Home screen
        runBatch,    // batch: to run without a window
        listDesigns, // print the saved designs' names
        exit,        // the help, the version or a usage error was printed; exit with exitStatus
    };
    Action action = Action::openWindow;
    QList<QUrl> files;
    ShellBatch::Request batch;
    int exitStatus = 0;
};

// Reads arguments (the program's name first, as QCoreApplication::arguments() gives them, Qt's
// own options taken out). Relative paths count from the current folder. Prints the help or the
// version on --help or --version, and the reason on a usage error (an unknown option, --jobs not a
// whole number of at least 1, a run without its design, folder or files).
Request parse(const QStringList& arguments);

// Whether the program was started for something that needs no window: any option but Qt's own
// window options (a run or a listing from the shell, the help, the version, or an unknown option
// to report). Looks at the raw arguments, before any application object exists, since a window's
// application would need a display.
bool wantsNoWindow(int argc, char** argv);

// Does what the arguments ask without a window or a display, and gives the exit status.
int runWithoutWindow(int& argc, char** argv);

} // namespace CommandLine
