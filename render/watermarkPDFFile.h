#pragma once

#include "model/WatermarkSnapshot.h"
#include "render/FileOutcome.h"

#include <QString>

// Stamps the design over every page of the PDF at inputFile (a regular file) and writes a new
// document, pages only, to outputPath. Pages stay vector and keep their own boxes and rotation;
// annotations that print are flattened into the page; the design is laid out upright over each
// page's visible area as the reader sees it. The file appears only when every byte is on the
// disk, replacing any file there, so outputPath may be the input itself; on failure nothing
// changes and the reason is in words for the user ("needs a password", "damaged beyond
// repair", "has no pages", "the disk is full"...). Never throws, prints nothing; any thread.
FileOutcome watermarkPDFFile(const QString& inputFile, const WatermarkSnapshot& settings,
                             const QString& outputPath);
