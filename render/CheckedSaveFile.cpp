#include "render/CheckedSaveFile.h"

#include "render/SystemError.h"

#include <QFileInfo>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

CheckedSaveFile::CheckedSaveFile(const QString& path) : m_path(path), m_file(path) {}

// Closing without commit leaves QSaveFile to remove the temporary file.
CheckedSaveFile::~CheckedSaveFile() = default;

FileOutcome CheckedSaveFile::create()
{
    if (!QFileInfo(QFileInfo(m_path).absolutePath()).isDir())
        return FileOutcome::failure(QStringLiteral("the output folder does not exist"));
    errno = 0;
    // The writes bypass QSaveFile's buffer, whose failed flush inside commit() would go unnoticed.
    if (!m_file.open(QIODevice::WriteOnly)) {
        const int error = errno;
        return FileOutcome::failure(error != 0 ? SystemError::reason(error)
                                               : QStringLiteral("cannot create the output file"));
    }
    QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    return m_path;
}

FileOutcome CheckedSaveFile::commit()
{
    if (!isOpen())
        return FileOutcome::failure(QStringLiteral("cannot create the output file"));
    // Some disks (network ones, or under a quota) only report a full disk when the data is flushed.
    if (m_writeError == 0)
        m_writeError = syncToDisk(m_file.handle());
    QIODevice::close();
    if (m_writeError != 0) {
        m_file.cancelWriting();
        return FileOutcome::failure(SystemError::reason(m_writeError));
    }
    errno = 0;
    if (!m_file.commit()) {
        const int error = errno;
        return FileOutcome::failure(error != 0 ? SystemError::reason(error)
                                               : QStringLiteral("cannot replace the existing file"));
    }
    return m_path;
}

int CheckedSaveFile::syncToDisk(int descriptor)
{
    return ::fsync(descriptor) == 0 ? 0 : errno;
}

FileOutcome CheckedSaveFile::copy(QIODevice& source, const QString& path)
{
    CheckedSaveFile output(path);
    if (const FileOutcome created = output.create(); !created)
        return created;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 read = source.read(chunk.data(), chunk.size());
        if (read < 0)
            return FileOutcome::failure(source.errorString());
        if (read == 0)
            return output.commit();
        if (output.write(chunk.constData(), read) != read)
            return FileOutcome::failure(output.failureReason(QStringLiteral("cannot write the file")));
    }
}

QString CheckedSaveFile::failureReason(const QString& otherwise) const
{
    return m_writeError != 0 ? SystemError::reason(m_writeError) : otherwise;
}

qint64 CheckedSaveFile::size() const
{
    struct stat status = {};
    if (!m_file.isOpen() || ::fstat(m_file.handle(), &status) != 0)
        return 0;
    return static_cast<qint64>(status.st_size);
}

// Reads and writes address the temporary file by position, as QIODevice tracks it for a
// random-access device; the descriptor's own offset is never used. QSaveFile opens its
// temporary file for reading and writing, so reading back works though it is opened WriteOnly.
qint64 CheckedSaveFile::readData(char* data, qint64 maxSize)
{
    for (;;) {
        const ssize_t read = ::pread(m_file.handle(), data, static_cast<size_t>(maxSize), pos());
        if (read >= 0 || errno != EINTR)
            return read;
    }
}

qint64 CheckedSaveFile::writeData(const char* data, qint64 size)
{
    if (m_writeError != 0)
        return -1;
    qint64 written = 0;
    while (written < size) {
        const ssize_t step =
            ::pwrite(m_file.handle(), data + written, static_cast<size_t>(size - written), pos() + written);
        if (step < 0 && errno == EINTR)
            continue;
        if (step <= 0) {
            m_writeError = step < 0 ? errno : EIO;
            return -1;
        }
        written += step;
    }
    return size;
}
