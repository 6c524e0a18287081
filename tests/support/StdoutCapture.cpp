#include "support/StdoutCapture.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

StdoutCapture::StdoutCapture()
{
    char name[] = "/tmp/stdout-capture-XXXXXX";
    m_file = mkstemp(name);
    if (m_file < 0) {
        std::perror("StdoutCapture: mkstemp");
        std::abort();
    }
    unlink(name);
    std::fflush(stdout);
    m_savedStdout = dup(STDOUT_FILENO);
    if (m_savedStdout < 0 || dup2(m_file, STDOUT_FILENO) < 0) {
        std::perror("StdoutCapture: dup");
        std::abort();
    }
}

StdoutCapture::~StdoutCapture()
{
    finish();
}

QByteArray StdoutCapture::finish()
{
    if (m_savedStdout < 0)
        return m_captured;
    std::fflush(stdout);
    dup2(m_savedStdout, STDOUT_FILENO);
    close(m_savedStdout);
    m_savedStdout = -1;

    lseek(m_file, 0, SEEK_SET);
    char buffer[4096];
    for (ssize_t n; (n = read(m_file, buffer, sizeof buffer)) > 0;)
        m_captured.append(buffer, n);
    close(m_file);
    m_file = -1;
    return m_captured;
}
