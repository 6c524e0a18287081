#pragma once

#include <QString>

namespace StandardOutput {

// Writes one line to standard output and flushes it, so diagnostic lines appear in order
// even when standard output is a pipe. Safe to call from any thread.
void printLine(const QString& line);

// From now on printLine prints nothing: the batch run from a shell keeps standard output for its
// own lines and standard error for its errors. Call before any thread prints.
void silence();

} // namespace StandardOutput
