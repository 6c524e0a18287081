#pragma once

#include <QString>

// The memory stamping one file of a batch is expected to hold, judged without decoding it, so a
// batch can keep the files it stamps at once within a budget.
class FileFootprint
{
public:
    FileFootprint() = delete;

    // A picture: width × height × 8 bytes from its header (decoded, plus the canvas drawn on), or
    // its file size when the header gives no size; a TIFF: its largest page as
    // TiffFile::stampingFootprint counts it. A PDF: its file size and what qpdf keeps for its
    // cross-references (PdfFootprint). Nothing for a file that is not a regular file, which fails
    // at once.
    static qint64 of(const QString& path);
};
