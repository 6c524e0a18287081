#pragma once

#include <QString>

#include <optional>

// The kind of a design; stored as its raw value "text" or "image".
enum class WatermarkType
{
    text,
    image,
};

QString rawValue(WatermarkType type);

// Nothing for any string other than the two raw values.
std::optional<WatermarkType> watermarkTypeFromRawValue(const QString& raw);
