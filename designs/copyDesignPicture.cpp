#include "designs/copyDesignPicture.h"

#include "model/WatermarkCoding.h"
#include "render/CheckedSaveFile.h"
#include "render/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QImageReader>

namespace {

// Decided by content, as the drawing routine decodes it: a picture with another name or
// extension is still a picture, and a file that only carries the extension is not.
bool holdsPicture(QFile& file)
{
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    const bool picture = format == "png" || format == "jpeg" || format == "tiff";
    return file.seek(0) && picture;
}

Result<QUrl> failure(const QString& reason)
{
    return Result<QUrl>::failure(reason);
}

} // namespace

Result<QUrl> copyDesignPicture(const QString& source, const QUuid& id, const QString& documentsFolder)
{
    // A FIFO or device would block the read forever, and a folder is no picture; the file
    // checked is the file read.
    const auto opened = RegularFile::open(source);
    if (!opened)
        return failure(QStringLiteral("%1: %2").arg(source, opened.error()));
    QFile input;
    if (!input.open(opened->descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return failure(input.errorString());
    if (!holdsPicture(input))
        return failure(QStringLiteral("%1 is not a PNG, JPEG or TIFF picture").arg(source));
    if (documentsFolder.isEmpty() || !QDir().mkpath(documentsFolder))
        return failure(QStringLiteral("cannot create the documents folder %1").arg(documentsFolder));

    const QString destination =
        QDir(documentsFolder).filePath(WatermarkCoding::uuidString(id) + QStringLiteral(".jpg"));
    const FileOutcome copied = CheckedSaveFile::copy(input, destination);
    if (!copied)
        return failure(copied.error());
    return QUrl::fromLocalFile(destination);
}
