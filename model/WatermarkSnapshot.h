#pragma once

#include "model/WatermarkColor.h"
#include "model/WatermarkType.h"

#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

// An immutable copy of a design's fields, taken on the thread that owns the design. The
// renderer and the batch worker read only this, so no thread reads an object another writes.
struct WatermarkSnapshot
{
    QString text;
    double fontSize = 24;
    double opacity = 0.5;
    double rotation = 0;
    QUuid id;
    std::optional<QUrl> imageData;
    double imageSize = 100;
    double xPosition = 50;
    double yPosition = 50;
    WatermarkType type = WatermarkType::text;
    WatermarkColor textColor = WatermarkColor::black();
    QString fontName = QStringLiteral("Helvetica");
    QString watermarkName = QStringLiteral("Your Watermark");

    // Field-by-field comparison, unlike WatermarkSettings, whose equality is by id.
    bool operator==(const WatermarkSnapshot&) const = default;
};
