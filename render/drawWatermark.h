#pragma once

#include "model/TextFields.h"
#include "model/WatermarkSnapshot.h"

#include <QRectF>

class QPainter;

// Paints one design over what the painter already holds. The one drawing routine for PDF
// pages, pictures and the preview.
//
// Space: the painter's current space, in Qt's own y-down orientation, with one unit per
// point and the target's top-left corner at the origin. Only the width W and height H of
// targetRect are used. The design is laid out as in a y-up space over the target: its box is
// centred on (W * xPosition / 100, H * yPosition / 100) counted from the lower-left corner,
// and rotation turns it counterclockwise, as the reader sees it, about that centre.
//
// Any finite values draw soundly. The rotation counts modulo 360. A design lying wholly off the
// target is not drawn, so no coordinate grows beyond the target plus the design's own extent.
//
// Text: the face FontResolver::fontFor finds for fontName (a full, PostScript or family name;
// any other name draws in fontconfig's closest face) at fontSize points, kept between 1 and
// 32,767 (PDF's limit), natural size with lines broken only at line breaks, in textColor with
// its own alpha; opacity does not apply. Text over 1,000 points is laid out at 1,000 and
// scaled, and filled as glyph outlines (poppler skips text over 20 inches; Qt's font engines
// fail at 65,536 pixels). Prints three timing lines (milliseconds) on standard output.
// Picture: the file at imageData, decoded by content with its EXIF orientation, one unit
// per pixel at imageSize 100, its longer side at most 32,767 points, drawn at opacity; only
// the part that can show on the target is drawn. Nothing is drawn for a picture under 0.01
// point (imageSize 0 or less included), an unreadable file or anything but a regular file (a
// FIFO never blocks the drawing).
// Each thread keeps the last picture it decoded, read again once the file's size,
// modification time or inode changes.
//
// The painter's state is restored. Safe on any thread, one call per painter at a time.
// Placeholders (spans of the text) are drawn in grey.
void drawWatermark(QPainter& painter, const WatermarkSnapshot& settings, const QRectF& targetRect,
                   const std::vector<TextFields::Span>& placeholders = {});

// Whether drawWatermark can draw the design's picture: true for a design without one (it is
// drawn as text), otherwise whether the picture decodes as drawWatermark decodes it. Decoding
// here fills the calling thread's picture cache, so the drawing that follows reads nothing again.
bool designPictureDecodes(const WatermarkSnapshot& settings);
