#pragma once

#include <QString>

namespace StandardOutput {

// Writes one line to standard output and flushes it, so diagnostic lines appear in order
// even when standard output is a pipe. Safe to call from any thread.
void printLine(const QString& line);

} // namespace StandardOutput
