#include "render/SystemError.h"

#include <cerrno>
#include <system_error>

namespace SystemError {

QString reason(int errorNumber)
{
    switch (errorNumber) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: // beyond the largest file the disk or the process may write: full, for the user
        return QStringLiteral("the disk is full");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied");
    case EROFS:
        return QStringLiteral("the disk is read-only");
    default: {
        // std::error_category's message is safe on any thread, unlike strerror.
        QString words = QString::fromStdString(std::generic_category().message(errorNumber));
        if (!words.isEmpty())
            words[0] = words[0].toLower(); // it follows a file name on the Home screen
        return words;
    }
    }
}

} // namespace SystemError
