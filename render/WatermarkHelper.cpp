#include "render/WatermarkHelper.h"

FileOutcome WatermarkHelper::watermarkImageFile(const QString&, const WatermarkSnapshot&, const QString&)
{
    return FileOutcome::failure(QStringLiteral("not built yet"));
}
