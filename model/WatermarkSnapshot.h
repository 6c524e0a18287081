#pragma once

#include "model/PageSelection.h"
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
    // One mark, or the mark repeated over the whole target.
    enum class Layout
    {
        single,
        tiled
    };
    // Where a single mark goes: by xPosition and yPosition, or at a corner, an edge's middle or
    // the centre, kept `margin` inside the target's edges.
    enum class Anchor
    {
        custom,
        topLeft,
        top,
        topRight,
        left,
        center,
        right,
        bottomLeft,
        bottom,
        bottomRight
    };
    // What the mark's size follows: its own points (fontSize, imageSize), or a side of the target,
    // whose `relativeSize` percent the mark's width becomes.
    enum class SizeReference
    {
        points,
        shorterSide,
        longerSide,
        width,
        height
    };
    // Over the content, under it, or over it with the multiply blend.
    enum class Layer
    {
        over,
        under,
        multiply
    };

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
    // The defaults below are what every design did before these fields existed.
    Layout layout = Layout::single;
    double tileGapX = 10; // percent of the target's shorter side
    double tileGapY = 10;
    bool tileStagger = false;
    Anchor anchor = Anchor::custom;
    double margin = 3; // percent of the target's shorter side
    SizeReference sizeReference = SizeReference::points;
    double relativeSize = 50; // percent of the chosen side
    Layer layer = Layer::over;
    PageSelection pages; // which pages of a document or multi-page picture are stamped

    // Field-by-field comparison, unlike WatermarkSettings, whose equality is by id.
    bool operator==(const WatermarkSnapshot&) const = default;
};
