#include "model/StandardOutput.h"

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> silenced = false;

} // namespace

namespace StandardOutput {

void printLine(const QString& line)
{
    if (silenced)
        return;
    const QByteArray bytes = line.toUtf8() + '\n';
    // One fwrite per line: stdio locks the stream per call, so lines from two threads never interleave.
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void silence()
{
    silenced = true;
}

} // namespace StandardOutput
