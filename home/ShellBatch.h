#pragma once

#include <QString>
#include <QStringList>

// The batch run from a shell, without a window: the Home screen's batch (the same routing, pool,
// output names and checks) over files and folders named on the command line, a line per file on
// standard output.
namespace ShellBatch {

struct Request
{
    // A saved design's name, or the path of a file holding one design in the stored form.
    QString design;
    QString outputFolder;
    int workers = 1;
    // Filled into a text design's {recipient}.
    QString recipient;
    // Files and folders as given; a folder brings its files as a drop of it would.
    QStringList inputs;
};

// The exit statuses of run and listDesigns.
enum Status
{
    allWritten = 0,
    notAllWritten = 1,
    usageError = 2,
};

// Runs the batch and gives its exit status. Prints, as each file ends, "written <output>",
// "not watermarked <input>: <reason>" or "skipped <input>: <reason>", then what the run came to
// in the Home screen's words. A design that cannot be found or read, or an output folder that
// does not exist, is a usage error: a line on standard error, nothing written. An interrupt or
// termination signal stops the run as "Stop" does: the files in flight finish. The window's
// diagnostic lines are not printed. preferencesFile: where the saved designs are; empty for
// the user's own.
int run(const Request& request, const QString& preferencesFile = {});

// Prints the saved designs' names, one a line, and gives the exit status.
int listDesigns(const QString& preferencesFile = {});

} // namespace ShellBatch
