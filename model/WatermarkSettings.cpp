#include "model/WatermarkSettings.h"

#include <QHash>

WatermarkSettings::WatermarkSettings(QString text, double fontSize, double opacity, double rotation, QUuid id,
                                     WatermarkType type, double xPosition, double yPosition, QString fontName,
                                     WatermarkColor textColor, QString watermarkName)
{
    // imageData and imageSize keep their declared defaults: no picture, 100 %.
    m_values.text = std::move(text);
    m_values.fontSize = fontSize;
    m_values.opacity = opacity;
    m_values.rotation = rotation;
    m_values.id = id;
    m_values.type = type;
    m_values.xPosition = xPosition;
    m_values.yPosition = yPosition;
    m_values.fontName = std::move(fontName);
    m_values.textColor = textColor;
    m_values.watermarkName = std::move(watermarkName);
}

std::shared_ptr<WatermarkSettings> WatermarkSettings::makeNew()
{
    return std::make_shared<WatermarkSettings>(
        QStringLiteral("Sample Watermark"), 24, 0.5, 0, QUuid::createUuid(), WatermarkType::text, 50, 50,
        QStringLiteral("Helvetica"), WatermarkColor::black(), QStringLiteral("Your Watermark"));
}

std::shared_ptr<WatermarkSettings> WatermarkSettings::fromSnapshot(const WatermarkSnapshot& snapshot)
{
    auto settings = std::make_shared<WatermarkSettings>(
        snapshot.text, snapshot.fontSize, snapshot.opacity, snapshot.rotation, snapshot.id, snapshot.type,
        snapshot.xPosition, snapshot.yPosition, snapshot.fontName, snapshot.textColor,
        snapshot.watermarkName);
    settings->m_values = snapshot; // imageData, imageSize and the placement too
    return settings;
}

template <typename T> void WatermarkSettings::assign(T& field, const T& value)
{
    if (field == value)
        return;
    field = value;
    Q_EMIT changed();
}

void WatermarkSettings::setText(const QString& value)
{
    assign(m_values.text, value);
}
void WatermarkSettings::setFontSize(double value)
{
    assign(m_values.fontSize, value);
}
void WatermarkSettings::setOpacity(double value)
{
    assign(m_values.opacity, value);
}
void WatermarkSettings::setRotation(double value)
{
    assign(m_values.rotation, value);
}
void WatermarkSettings::setId(const QUuid& value)
{
    assign(m_values.id, value);
}
// Announced even when the location is the same: a new picture chosen for a design is copied
// over the earlier one under the same name, and the preview must show the new picture.
void WatermarkSettings::setImageData(const std::optional<QUrl>& value)
{
    m_values.imageData = value;
    Q_EMIT changed();
}
void WatermarkSettings::setImageSize(double value)
{
    assign(m_values.imageSize, value);
}
void WatermarkSettings::setXPosition(double value)
{
    assign(m_values.xPosition, value);
}
void WatermarkSettings::setYPosition(double value)
{
    assign(m_values.yPosition, value);
}
void WatermarkSettings::setType(WatermarkType value)
{
    assign(m_values.type, value);
}
void WatermarkSettings::setTextColor(const WatermarkColor& value)
{
    assign(m_values.textColor, value);
}
void WatermarkSettings::setFontName(const QString& value)
{
    assign(m_values.fontName, value);
}
void WatermarkSettings::setWatermarkName(const QString& value)
{
    assign(m_values.watermarkName, value);
}
void WatermarkSettings::setLayout(WatermarkSnapshot::Layout value)
{
    assign(m_values.layout, value);
}
void WatermarkSettings::setTileGapX(double value)
{
    assign(m_values.tileGapX, value);
}
void WatermarkSettings::setTileGapY(double value)
{
    assign(m_values.tileGapY, value);
}
void WatermarkSettings::setTileStagger(bool value)
{
    assign(m_values.tileStagger, value);
}
void WatermarkSettings::setAnchor(WatermarkSnapshot::Anchor value)
{
    assign(m_values.anchor, value);
}
void WatermarkSettings::setMargin(double value)
{
    assign(m_values.margin, value);
}
void WatermarkSettings::setSizeReference(WatermarkSnapshot::SizeReference value)
{
    assign(m_values.sizeReference, value);
}
void WatermarkSettings::setRelativeSize(double value)
{
    assign(m_values.relativeSize, value);
}
void WatermarkSettings::setLayer(WatermarkSnapshot::Layer value)
{
    assign(m_values.layer, value);
}
void WatermarkSettings::setPages(const PageSelection& value)
{
    assign(m_values.pages, value);
}

size_t qHash(const WatermarkSettings& settings, size_t seed) noexcept
{
    return qHash(settings.id(), seed);
}
