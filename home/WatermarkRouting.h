#pragma once

#include "model/WatermarkSnapshot.h"
#include "render/FileOutcome.h"

#include <QString>

#include <optional>

// Which stamping path a batch sends a file to, by what the file holds.
enum class WatermarkRoute
{
    pdf,
    image,
};

namespace WatermarkRouting {

// The route of a regular file by its content: a PDF document to PDF stamping, a PNG, JPEG or
// TIFF picture to picture stamping, whatever the file is named; nothing for any other content
// and for anything that is not a regular file. Reads the file's first bytes; opens nothing
// else. Safe on any thread. The file intake accepts exactly the files this routes.
std::optional<WatermarkRoute> contentRoute(const QString& path);

// The route the batch takes: contentRoute for a regular file; for anything else (missing, a
// FIFO, a device) the route its lower-cased extension names ("pdf"; "png", "jpg", "jpeg",
// "tif", "tiff"), so that stamping it fails with the reason instead of passing it over.
std::optional<WatermarkRoute> routeFor(const QString& path);

// Stamps one file along its route, writing it to outputPath. Nothing (not even an attempt)
// for a skipped file.
std::optional<FileOutcome> watermarkFile(const QString& path, const WatermarkSnapshot& settings,
                                         const QString& outputPath);

} // namespace WatermarkRouting
