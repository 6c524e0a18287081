#include "render/watermarkPDFFile.h"

FileOutcome watermarkPDFFile(const QString&, const WatermarkSnapshot&, const QString&)
{
    return FileOutcome::failure(QStringLiteral("not built yet"));
}
