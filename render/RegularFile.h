#pragma once

#include "model/Result.h"

#include <QString>

#include <string>

// A file open for reading that is known to be a regular file. The check is made on the open
// descriptor, which was opened without blocking, so a FIFO or a device under a document's or
// picture's name is refused at once instead of being read forever; reads then go through that
// same descriptor, so the file cannot be swapped between check and read.
class RegularFile
{
public:
    // Fails with "not a regular file", "does not exist" or what the system reported, in words.
    static Result<RegularFile> open(const QString& path);

    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    // Valid until release() or destruction.
    int descriptor() const { return m_descriptor; }
    // Hands the descriptor over; closing it is then the caller's task.
    int release();

    qint64 size() const { return m_size; }

    // Exactly length bytes from offset, read through the descriptor without moving its position;
    // "changed while it was being stamped" when the file ends before them, or the system's
    // reason in words.
    Result<std::string> readAt(qint64 offset, qint64 length) const;
    // Nanoseconds since the epoch.
    qint64 modified() const { return m_modified; }
    quint64 inode() const { return m_inode; }
    quint64 device() const { return m_device; }

private:
    RegularFile() = default;

    int m_descriptor = -1;
    qint64 m_size = 0;
    qint64 m_modified = 0;
    quint64 m_inode = 0;
    quint64 m_device = 0;
};
