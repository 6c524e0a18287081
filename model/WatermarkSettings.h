#pragma once

#include "model/WatermarkSnapshot.h"

#include <QObject>

#include <memory>

// One watermark design, shared by reference between the views of one screen. Every setter
// that changes a value emits changed() afterwards, so views and the preview repaint; setting a
// picture always does, since a new picture may be copied under the same name.
// Equality and hashing go by id alone: lists find, replace and remove designs by id.
class WatermarkSettings : public QObject
{
    Q_OBJECT

public:
    WatermarkSettings(QString text, double fontSize, double opacity, double rotation, QUuid id,
                      WatermarkType type, double xPosition, double yPosition, QString fontName,
                      WatermarkColor textColor, QString watermarkName);

    // The editor's "New Watermark": sample text, black Helvetica 24, centred, a fresh id.
    static std::shared_ptr<WatermarkSettings> makeNew();
    static std::shared_ptr<WatermarkSettings> fromSnapshot(const WatermarkSnapshot& snapshot);

    // A value copy of every field, for the renderer and the batch worker.
    const WatermarkSnapshot& snapshot() const { return m_values; }

    const QString& text() const { return m_values.text; }
    double fontSize() const { return m_values.fontSize; }
    double opacity() const { return m_values.opacity; }
    double rotation() const { return m_values.rotation; }
    const QUuid& id() const { return m_values.id; }
    const std::optional<QUrl>& imageData() const { return m_values.imageData; }
    double imageSize() const { return m_values.imageSize; }
    double xPosition() const { return m_values.xPosition; }
    double yPosition() const { return m_values.yPosition; }
    WatermarkType type() const { return m_values.type; }
    const WatermarkColor& textColor() const { return m_values.textColor; }
    const QString& fontName() const { return m_values.fontName; }
    const QString& watermarkName() const { return m_values.watermarkName; }
    WatermarkSnapshot::Layout layout() const { return m_values.layout; }
    double tileGapX() const { return m_values.tileGapX; }
    double tileGapY() const { return m_values.tileGapY; }
    bool tileStagger() const { return m_values.tileStagger; }
    WatermarkSnapshot::Anchor anchor() const { return m_values.anchor; }
    double margin() const { return m_values.margin; }
    WatermarkSnapshot::SizeReference sizeReference() const { return m_values.sizeReference; }
    double relativeSize() const { return m_values.relativeSize; }
    WatermarkSnapshot::Layer layer() const { return m_values.layer; }
    const PageSelection& pages() const { return m_values.pages; }

    void setText(const QString& value);
    void setFontSize(double value);
    void setOpacity(double value);
    void setRotation(double value);
    void setId(const QUuid& value);
    void setImageData(const std::optional<QUrl>& value);
    void setImageSize(double value);
    void setXPosition(double value);
    void setYPosition(double value);
    void setType(WatermarkType value);
    void setTextColor(const WatermarkColor& value);
    void setFontName(const QString& value);
    void setWatermarkName(const QString& value);
    void setLayout(WatermarkSnapshot::Layout value);
    void setTileGapX(double value);
    void setTileGapY(double value);
    void setTileStagger(bool value);
    void setAnchor(WatermarkSnapshot::Anchor value);
    void setMargin(double value);
    void setSizeReference(WatermarkSnapshot::SizeReference value);
    void setRelativeSize(double value);
    void setLayer(WatermarkSnapshot::Layer value);
    void setPages(const PageSelection& value);

    bool operator==(const WatermarkSettings& other) const { return m_values.id == other.m_values.id; }

Q_SIGNALS:
    void changed();

private:
    template <typename T> void assign(T& field, const T& value);

    WatermarkSnapshot m_values;
};

size_t qHash(const WatermarkSettings& settings, size_t seed = 0) noexcept;

template <> struct std::hash<WatermarkSettings>
{
    size_t operator()(const WatermarkSettings& settings) const noexcept { return qHash(settings); }
};
