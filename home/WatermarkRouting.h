#pragma once

#include "model/WatermarkSnapshot.h"
#include "render/FileOutcome.h"

#include <QString>

#include <optional>

// Which stamping path a batch sends a file to, by its lower-cased extension.
enum class WatermarkRoute
{
    pdf,
    image,
};

namespace WatermarkRouting {

// "pdf" goes to PDF stamping; "png", "jpg", "jpeg", "tif" and "tiff" to picture stamping;
// nothing for any other extension (such files are skipped and not counted).
std::optional<WatermarkRoute> routeFor(const QString& path);

// Stamps one file along its route, writing it to outputPath. Nothing (not even an attempt)
// for a skipped file.
std::optional<FileOutcome> watermarkFile(const QString& path, const WatermarkSnapshot& settings,
                                         const QString& outputPath);

} // namespace WatermarkRouting
