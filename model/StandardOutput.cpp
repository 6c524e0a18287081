#include "model/StandardOutput.h"

#include <cstdio>

namespace StandardOutput {

void printLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    // One fwrite per line: stdio locks the stream per call, so lines from two threads never interleave.
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace StandardOutput
