#pragma once

#include <QSizeF>
#include <QString>

#include <optional>

class QIODevice;

// Reads a picture's resolution from its own metadata, since Qt reports 96 dpi both for files
// that say 96 and for files that say nothing.
namespace ImageResolution {

// Horizontal and vertical dots per inch, as stored (before any EXIF turn), from PNG pHYs in
// dots per metre, JPEG JFIF density in dots per inch or centimetre (else the EXIF block), or
// TIFF resolution tags. Nothing when the file states none, states only an aspect ratio, or
// states values below 1 or above a million dpi. The format is recognised by content; only a
// bounded part of the file is read, so damaged or hostile files cost little and answer nothing.
// Only a regular file is read.
std::optional<QSizeF> dotsPerInch(const QString& path);

// The same, read from a random-access device, whose position it moves.
std::optional<QSizeF> dotsPerInch(QIODevice& device);

} // namespace ImageResolution
