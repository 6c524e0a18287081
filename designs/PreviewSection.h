#pragma once

#include "model/WatermarkSettings.h"

#include <QImage>
#include <QMetaObject>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class QLabel;

namespace Poppler {
class Document;
class Page;
} // namespace Poppler

// The design editor's preview: a page of a sample document with the bound design drawn over it,
// fitted into the widget with its aspect kept, centred on white, inside a grey 1-pixel border. The
// page is the first the design's choice of pages takes of the sample (the first page, unmarked,
// when it takes none). Without a readable, unlocked document that has a page it shows "Preview
// not available".
class PreviewSection : public QWidget
{
    Q_OBJECT

public:
    // pdfPath may be a file or a Qt resource path (":/Lorem_Ipsum.pdf"); it is read once, here.
    PreviewSection(std::shared_ptr<WatermarkSettings> settings, std::optional<QString> pdfPath,
                   QWidget* parent = nullptr);
    ~PreviewSection() override;

    // Shows another design, repainting on each of its changes from now on; the page is kept.
    void setSettings(std::shared_ptr<WatermarkSettings> settings);

    // Whom the copies are for, as typed on the Home screen, shown for {recipient}; empty shows
    // the field as written, in grey.
    void setRecipient(const QString& recipient);

    // Where the page lands in a widget of the given size, in its logical pixels, whole-pixel
    // aligned; nothing when there is no page to show.
    std::optional<QRectF> pageRect(const QSize& widgetSize) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void loadDocument(const std::optional<QString>& pdfPath);
    const QImage& pageRaster(const QRectF& target, qreal devicePixelRatio);
    std::optional<int> chosenPage() const;
    void showPage(int number);

    std::shared_ptr<WatermarkSettings> m_settings;
    QMetaObject::Connection m_settingsChanged;
    std::unique_ptr<Poppler::Document> m_document;
    std::unique_ptr<Poppler::Page> m_page;
    QSizeF m_pageSize;    // points, as the reader sees the page
    QString m_sampleName; // its file name, without folder and extension, for {filename}
    int m_samplePages = 1;
    QString m_recipient;
    int m_shownPage = 1;
    QImage m_raster; // the page alone, for the size it was last drawn at
    QLabel* m_unavailable = nullptr;
};
