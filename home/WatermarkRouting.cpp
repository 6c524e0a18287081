#include "home/WatermarkRouting.h"

#include "render/WatermarkHelper.h"
#include "render/watermarkPDFFile.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <sys/stat.h>

namespace {

// Reading a FIFO or a device waits for a writer or never ends, so only a regular file (after
// following links) is ever opened. Asking the file's status opens nothing.
bool isRegularFile(const QString& path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

std::optional<WatermarkRoute> extensionRoute(const QString& path)
{
    // The extension is what follows the last dot of the file name: "archive.tar.PDF" is a pdf.
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : name.mid(dot + 1).toLower();
    if (extension == QLatin1String("pdf"))
        return WatermarkRoute::pdf;
    if (extension == QLatin1String("png") || extension == QLatin1String("jpg") ||
        extension == QLatin1String("jpeg") || extension == QLatin1String("tif") ||
        extension == QLatin1String("tiff"))
        return WatermarkRoute::image;
    return std::nullopt;
}

} // namespace

namespace WatermarkRouting {

std::optional<WatermarkRoute> contentRoute(const QString& path)
{
    if (!isRegularFile(path))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // As much as the type database reads of a file itself; reading it here, outside the
    // database's lock, makes judging thousands of files a third faster.
    const QByteArray head = file.read(16384);
    // Exact names: a type that merely derives from one of these (a PDF-based format, say) is out.
    const QString type = QMimeDatabase().mimeTypeForData(head).name();
    if (type == QLatin1String("application/pdf"))
        return WatermarkRoute::pdf;
    if (type == QLatin1String("image/png") || type == QLatin1String("image/jpeg") ||
        type == QLatin1String("image/tiff"))
        return WatermarkRoute::image;
    return std::nullopt;
}

std::optional<WatermarkRoute> routeFor(const QString& path)
{
    return isRegularFile(path) ? contentRoute(path) : extensionRoute(path);
}

std::optional<FileOutcome> watermarkFile(const QString& path, const WatermarkSnapshot& settings,
                                         const QString& outputPath)
{
    const auto route = routeFor(path);
    if (!route)
        return std::nullopt;
    if (*route == WatermarkRoute::pdf)
        return watermarkPDFFile(path, settings, outputPath);
    return WatermarkHelper::watermarkImageFile(path, settings, outputPath);
}

} // namespace WatermarkRouting
