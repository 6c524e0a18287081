#include "designs/PreviewSection.h"

#include "model/TextFields.h"
#include "render/drawWatermark.h"
#include "widgets/Resources.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <poppler-qt6.h>

#include <cmath>

namespace {

const QColor pageEdgeColor(0, 0, 0, 36);
const QColor borderColor(200, 200, 200);

} // namespace

PreviewSection::PreviewSection(std::shared_ptr<WatermarkSettings> settings, std::optional<QString> pdfPath,
                               QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel is painted, so Qt need not clear first
    auto* layout = new QVBoxLayout(this);
    m_unavailable = new QLabel(tr("Preview not available"), this);
    m_unavailable->setAlignment(Qt::AlignCenter);
    // Fixed colours: the text stands on the preview's own white, whatever the palette's theme.
    QPalette palette = m_unavailable->palette();
    palette.setColor(QPalette::WindowText, QColor(110, 110, 110));
    m_unavailable->setPalette(palette);
    layout->addWidget(m_unavailable);

    loadDocument(pdfPath);
    m_unavailable->setVisible(!m_page);
    setSettings(std::move(settings));
}

PreviewSection::~PreviewSection() = default;

void PreviewSection::setSettings(std::shared_ptr<WatermarkSettings> settings)
{
    disconnect(m_settingsChanged);
    m_settings = std::move(settings);
    if (m_settings) {
        m_settingsChanged =
            connect(m_settings.get(), &WatermarkSettings::changed, this, qOverload<>(&QWidget::update));
    }
    update();
}

void PreviewSection::loadDocument(const std::optional<QString>& pdfPath)
{
    if (!pdfPath)
        return;
    Resources::ensureRegistered(); // the sample usually lives among the compiled-in resources
    QFile file(*pdfPath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    std::unique_ptr<Poppler::Document> document = Poppler::Document::loadFromData(file.readAll());
    if (!document || document->isLocked() || document->numPages() < 1)
        return;
    std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page || page->pageSizeF().isEmpty())
        return;
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    m_pageSize = page->pageSizeF();
    m_sampleName = QFileInfo(*pdfPath).completeBaseName();
    m_samplePages = document->numPages();
    m_page = std::move(page);
    m_document = std::move(document);
}

// The first page of the sample the design stamps; nothing when it stamps none of them.
std::optional<int> PreviewSection::chosenPage() const
{
    if (!m_settings)
        return 1;
    const std::vector<int> pages = m_settings->pages().pagesOf(m_samplePages);
    return pages.empty() ? std::nullopt : std::optional(pages.front());
}

// A page that cannot be had, or has no size, leaves the one shown before.
void PreviewSection::showPage(int number)
{
    if (!m_document || number == m_shownPage)
        return;
    std::unique_ptr<Poppler::Page> page = m_document->page(number - 1);
    if (!page || page->pageSizeF().isEmpty())
        return;
    m_pageSize = page->pageSizeF();
    m_page = std::move(page);
    m_shownPage = number;
    m_raster = QImage();
}

std::optional<QRectF> PreviewSection::pageRect(const QSize& widgetSize) const
{
    if (!m_page)
        return std::nullopt;
    // Inside the border, so the page never covers it.
    const QSizeF room(widgetSize.width() - 2, widgetSize.height() - 2);
    if (room.isEmpty())
        return std::nullopt;
    const QSizeF fitted = m_pageSize.scaled(room, Qt::KeepAspectRatio);
    const double width = std::max(1.0, std::round(fitted.width()));
    const double height = std::max(1.0, std::round(fitted.height()));
    return QRectF(1 + std::floor((room.width() - width) / 2), 1 + std::floor((room.height() - height) / 2),
                  width, height);
}

// The sample never changes, so the page is rasterised once per size and a design change only
// paints the design over the kept picture; that is what makes dragging a slider feel immediate.
const QImage& PreviewSection::pageRaster(const QRectF& target, qreal devicePixelRatio)
{
    const QSize pixels(qRound(target.width() * devicePixelRatio), qRound(target.height() * devicePixelRatio));
    if (m_raster.size() == pixels && m_raster.devicePixelRatio() == devicePixelRatio)
        return m_raster;
    const double xDpi = 72.0 * pixels.width() / m_pageSize.width();
    const double yDpi = 72.0 * pixels.height() / m_pageSize.height();
    QImage raster = m_page->renderToImage(xDpi, yDpi, 0, 0, pixels.width(), pixels.height());
    if (raster.isNull()) {
        raster = QImage(pixels, QImage::Format_RGB32);
        raster.fill(Qt::white);
    }
    // Opaque pixels blit without blending on every later paint.
    m_raster = raster.convertToFormat(QImage::Format_RGB32);
    m_raster.setDevicePixelRatio(devicePixelRatio);
    return m_raster;
}

void PreviewSection::setRecipient(const QString& recipient)
{
    m_recipient = recipient;
    update();
}

void PreviewSection::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    const std::optional<int> chosen = chosenPage();
    showPage(chosen.value_or(1));
    if (const std::optional<QRectF> target = pageRect(size())) {
        // A mark under the content shows where the sample page is blank, as on a PDF page that
        // paints no background: the page is multiplied over it, its ink on top.
        const bool under = m_settings && m_settings->layer() == WatermarkSnapshot::Layer::under;
        const QImage& raster = pageRaster(*target, devicePixelRatioF());
        if (!under)
            painter.drawImage(target->topLeft(), raster);
        // A faint edge, so a white page can be told from the white around it.
        painter.setPen(QPen(pageEdgeColor, 1));
        painter.drawRect(target->adjusted(-0.5, -0.5, 0.5, 0.5));
        if (m_settings && chosen) {
            // The design is laid out on the page in points and scaled with it, so it keeps its
            // place and size relative to the page at any widget size.
            painter.save();
            painter.translate(target->topLeft());
            const double scale = target->width() / m_pageSize.width();
            painter.scale(scale, scale);
            const QRectF page(QPointF(0, 0), m_pageSize);
            painter.setClipRect(page);
            painter.setRenderHint(QPainter::Antialiasing);
            WatermarkSnapshot design = m_settings->snapshot();
            // The fields show the sample's own values: its name, today, the page shown, the first
            // file of a batch, whom the copies are for when that is typed on the Home screen;
            // otherwise that field shows as written, in grey, as do EXIF fields.
            TextFields::Values sampleValues;
            sampleValues.fileName = m_sampleName;
            sampleValues.date = TextFields::today();
            sampleValues.page = m_shownPage;
            sampleValues.pages = m_samplePages;
            sampleValues.number = 1;
            if (!m_recipient.isEmpty())
                sampleValues.recipient = m_recipient;
            std::vector<TextFields::Span> placeholders;
            design.text = TextFields::expand(design.text, sampleValues, placeholders);
            if (under)
                design.layer = WatermarkSnapshot::Layer::over;
            drawWatermark(painter, design, page, placeholders);
            painter.restore();
        }
        if (under) {
            painter.setCompositionMode(QPainter::CompositionMode_Multiply);
            painter.drawImage(target->topLeft(), raster);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
    }
    painter.setPen(QPen(borderColor, 1));
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
