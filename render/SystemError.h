#pragma once

#include <QString>

// Words a person understands for what a failed system call reported.
namespace SystemError {

// "the disk is full" (ENOSPC, EDQUOT, EFBIG), "permission denied" (EACCES, EPERM), "the disk
// is read-only" (EROFS); the system's own description of any other errno.
QString reason(int errorNumber);

} // namespace SystemError
