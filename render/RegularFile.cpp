#include "render/RegularFile.h"

#include "render/SystemError.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Result<RegularFile> RegularFile::open(const QString& path)
{
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer that never comes.
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return Result<RegularFile>::failure(QStringLiteral("does not exist"));
        if (error == ENXIO || error == ENODEV || error == EISDIR) // a socket, a missing device, a folder
            return Result<RegularFile>::failure(QStringLiteral("not a regular file"));
        return Result<RegularFile>::failure(SystemError::reason(error));
    }
    RegularFile file;
    file.m_descriptor = descriptor;
    struct stat status = {};
    if (::fstat(descriptor, &status) != 0)
        return Result<RegularFile>::failure(SystemError::reason(errno));
    if (!S_ISREG(status.st_mode))
        return Result<RegularFile>::failure(QStringLiteral("not a regular file"));
    // Regular files ignore O_NONBLOCK on local disks, but some network and FUSE file systems
    // honour it with spurious EAGAIN; reads should simply wait for the data.
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    file.m_size = static_cast<qint64>(status.st_size);
    file.m_modified = static_cast<qint64>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    file.m_inode = static_cast<quint64>(status.st_ino);
    file.m_device = static_cast<quint64>(status.st_dev);
    return file;
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1)), m_size(other.m_size), m_modified(other.m_modified),
      m_inode(other.m_inode), m_device(other.m_device)
{}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_size = other.m_size;
        m_modified = other.m_modified;
        m_inode = other.m_inode;
        m_device = other.m_device;
    }
    return *this;
}

RegularFile::~RegularFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

int RegularFile::release()
{
    return std::exchange(m_descriptor, -1);
}

Result<std::string> RegularFile::readAt(qint64 offset, qint64 length) const
{
    std::string bytes(static_cast<size_t>(std::max<qint64>(0, length)), '\0');
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t read = ::pread(m_descriptor, bytes.data() + done, bytes.size() - done,
                                     static_cast<off_t>(offset + static_cast<qint64>(done)));
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return Result<std::string>::failure(SystemError::reason(errno));
        if (read == 0)
            return Result<std::string>::failure(QStringLiteral("changed while it was being stamped"));
        done += static_cast<size_t>(read);
    }
    return bytes;
}
