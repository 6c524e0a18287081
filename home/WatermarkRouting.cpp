#include "home/WatermarkRouting.h"

#include "render/WatermarkHelper.h"
#include "render/watermarkPDFFile.h"

#include <QFileInfo>

namespace WatermarkRouting {

std::optional<WatermarkRoute> routeFor(const QString& path)
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
