#include "support/StdoutCapture.h"

#include <cstdlib>
#include <unistd.h>

StdoutCapture::StdoutCapture() : m_file(std::tmpfile())
{
    std::fflush(stdout);
    m_savedStdout = dup(STDOUT_FILENO);
    if (!m_file || m_savedStdout < 0 || dup2(fileno(m_file), STDOUT_FILENO) < 0) {
        std::perror("StdoutCapture");
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
    // Standard output wrote through its own descriptor; this stream has buffered nothing yet.
    std::rewind(m_file);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0;)
        m_captured.append(buffer, qsizetype(n));
    std::fclose(m_file);
    return m_captured;
}
