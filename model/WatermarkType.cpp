#include "model/WatermarkType.h"

QString rawValue(WatermarkType type)
{
    return type == WatermarkType::image ? QStringLiteral("image") : QStringLiteral("text");
}

std::optional<WatermarkType> watermarkTypeFromRawValue(const QString& raw)
{
    if (raw == QLatin1String("text"))
        return WatermarkType::text;
    if (raw == QLatin1String("image"))
        return WatermarkType::image;
    return std::nullopt;
}
