#pragma once

#include <QtGlobal>

class RegularFile;

// The memory stamping a PDF is expected to take, judged from its file before qpdf reads it: the
// file itself (read into memory when small) and what qpdf keeps for each entry of its
// cross-reference section, of which a compressed section can declare millions in a few
// kilobytes. Content is inflated a piece at a time and counts for little.
class PdfFootprint
{
public:
    PdfFootprint() = delete;

    // Beyond its own size, a document may take this much; more is refused before it is read.
    static constexpr qint64 allowance = qint64(256) << 20;

    // The estimate, in bytes; the file's size when its last section cannot be found.
    static qint64 of(const RegularFile& file);

    // The entries the file's last cross-reference section declares (its /Size); 0 when unknown.
    static qint64 declaredEntries(const RegularFile& file);
};
