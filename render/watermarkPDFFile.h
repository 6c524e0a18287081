#pragma once

#include "model/WatermarkSnapshot.h"
#include "render/FileOutcome.h"

#include <QString>

// Stamps the design over every page of the PDF at inputFile and writes a new document, pages
// only, under the input's file name into outputFolder. Pages stay vector and keep their own
// boxes and rotation; annotations that print are flattened into the page; the design is laid
// out upright over each page's visible area as the reader sees it. The file appears only when
// complete, replacing any file of that name, so the output folder may be the input's own.
// Unreadable, password-protected or page-less inputs write nothing. Never throws, prints
// nothing of its own; safe on any thread.
FileOutcome watermarkPDFFile(const QString& inputFile, const WatermarkSnapshot& settings,
                             const QString& outputFolder);
