#pragma once

#include <QByteArray>

#include <cstdio>

// Sends the process's standard output to a temporary file while it lives, so a test can see
// exactly what the code under test printed with stdio. QTest logs to standard output too, so
// call finish() before checking anything: a failure reported while capturing would be lost.
class StdoutCapture
{
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Restores standard output and returns everything written while capturing.
    QByteArray finish();

private:
    int m_savedStdout = -1;
    std::FILE* m_file;
    QByteArray m_captured;
};
