#pragma once

#include <QString>

// What a finished run came to, in the words the Home screen and the shell both use: "Done",
// "Done, 2 of 4 files not watermarked" or "Stopped after 3 of 10 files". reached counts the files
// stamped or failed; listed is the run's length, named only when it was stopped.
QString batchSummary(bool stopped, qint64 reached, qint64 failed, qint64 listed);
