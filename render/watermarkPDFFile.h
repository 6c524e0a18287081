#pragma once

#include "model/WatermarkSnapshot.h"
#include "render/FileOutcome.h"

#include <QString>

// Stamps the design over the pages it chooses of the PDF at inputFile (a regular file) and writes the
// stamped document to outputPath. The output is the input's own bytes plus an incremental update
// that brackets each page's content and paints the design above it (encrypted as the document
// is), so everything else (forms, links, bookmarks, the structure tree, metadata, signatures)
// stays as it was; an unsigned document that qpdf had to repair is rewritten whole instead,
// keeping its catalogue, annotations and encryption. Pages stay vector and keep their boxes and
// rotation; the design is laid out upright over each page's visible area as the reader sees it.
// A signed document's outcome notes that its signatures still verify. The file appears only
// when every byte is on the disk, replacing any file there, so outputPath may be the input
// itself; on failure nothing changes and the reason is in words for the user ("needs a
// password", "damaged beyond repair", "has no pages", "no page of it is in the design's page
// list", "the disk is full"...). Never throws,
// prints nothing; any thread.
FileOutcome watermarkPDFFile(const QString& inputFile, const WatermarkSnapshot& settings,
                             const QString& outputPath);
