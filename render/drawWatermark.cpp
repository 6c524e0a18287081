#include "render/drawWatermark.h"

#include "render/PreparedMark.h"

#include <QElapsedTimer>
#include <QPainter>

namespace {

QPainter::CompositionMode compositionFor(WatermarkSnapshot::Layer layer)
{
    switch (layer) {
    case WatermarkSnapshot::Layer::under:
        return QPainter::CompositionMode_DestinationOver;
    case WatermarkSnapshot::Layer::multiply:
        return QPainter::CompositionMode_Multiply;
    case WatermarkSnapshot::Layer::over:
        break;
    }
    return QPainter::CompositionMode_SourceOver;
}

} // namespace

void drawWatermark(QPainter& painter, const WatermarkSnapshot& settings, const QRectF& targetRect,
                   const std::vector<TextFields::Span>& placeholders)
{
    const PreparedMark mark(settings, true, placeholders);
    QElapsedTimer timer;
    timer.start();
    const QSizeF target = targetRect.size();
    const std::vector<MarkPlacement> copies = mark.placementsOn(target);
    if (!copies.empty()) {
        painter.save();
        if (settings.layout == WatermarkSnapshot::Layout::tiled)
            painter.setClipRect(QRectF(QPointF(0, 0), target), Qt::IntersectClip);
        if (settings.layer != WatermarkSnapshot::Layer::over)
            painter.setCompositionMode(compositionFor(settings.layer));
        for (const MarkPlacement& copy : copies)
            mark.draw(painter, copy, target);
        painter.restore();
    }
    mark.printDrawingTime(timer);
}

bool designPictureDecodes(const WatermarkSnapshot& settings)
{
    return PreparedMark::pictureDecodes(settings);
}
