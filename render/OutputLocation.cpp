#include "render/OutputLocation.h"

#include <QDir>
#include <QFileInfo>

FileOutcome outputLocation(const QString& inputFile, const QString& outputFolder)
{
    if (!QFileInfo(outputFolder).isDir())
        return FileOutcome::failure(QStringLiteral("The output folder does not exist."));
    return QDir(outputFolder).filePath(QFileInfo(inputFile).fileName());
}
