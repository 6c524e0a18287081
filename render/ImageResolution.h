#pragma once

#include <QSizeF>
#include <QString>

#include <optional>

// Reads a picture's resolution from its own metadata, since Qt reports 96 dpi both for files
// that say 96 and for files that say nothing.
namespace ImageResolution {

// Horizontal and vertical dots per inch from PNG pHYs, JPEG JFIF density or EXIF, or TIFF
// resolution tags; nothing when the file states none. Only the file's head is read.
std::optional<QSizeF> dotsPerInch(const QString& path);

} // namespace ImageResolution
