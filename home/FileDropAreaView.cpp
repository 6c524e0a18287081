#include "home/FileDropAreaView.h"

#include "home/FileIntake.h"
#include "home/HomeState.h"
#include "widgets/Icons.h"

#include <QDragEnterEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QColor grey(0x8e, 0x8e, 0x93);
const QColor blue(0x00, 0x7a, 0xff);
constexpr qreal cornerRadius = 10;
constexpr int iconSize = 48;
// The glow spreads this far beyond the outline, so the zone keeps that much room around it.
constexpr int glowRadius = 5;

// The arrow.down.doc symbol in grey whatever colours its drawing uses; null when there is none.
QPixmap greyIcon(qreal devicePixelRatio)
{
    const QIcon icon = Icons::icon(QStringLiteral("arrow.down.doc"));
    if (icon.isNull())
        return {};
    QPixmap pixmap = icon.pixmap(QSize(iconSize, iconSize), devicePixelRatio);
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), grey);
    return pixmap;
}

void setTextColor(QWidget* widget, QPalette::ColorRole role, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, role, color);
    palette.setColor(QPalette::Inactive, role, color);
    QColor faded = color;
    faded.setAlphaF(0.4f);
    palette.setColor(QPalette::Disabled, role, faded);
    widget->setPalette(palette);
}

// A soft blue halo: wide faint strokes under the outline, each adding to the ones beneath.
void paintGlow(QPainter& painter, const QRectF& outline)
{
    QColor halo = blue;
    halo.setAlphaF(0.7f / glowRadius);
    for (int spread = glowRadius; spread > 0; --spread) {
        painter.setPen(QPen(halo, 2 + 2 * spread));
        painter.drawRoundedRect(outline, cornerRadius, cornerRadius);
    }
}

} // namespace

FileDropAreaView::FileDropAreaView(HomeState& state, QWidget* parent) : QWidget(parent), m_state(state)
{
    setAcceptDrops(true);
    m_clearButton = new QPushButton(tr("Clear Selection"), this);
    m_clearButton->setObjectName(QStringLiteral("clearSelectionButton"));
    m_clearButton->setAutoDefault(true);
    setTextColor(m_clearButton, QPalette::ButtonText, Qt::red);
    connect(m_clearButton, &QPushButton::clicked, &m_state, &HomeState::clearSelection);

    m_refusedLine = new QLabel(this);
    m_refusedLine->setObjectName(QStringLiteral("refusedFilesLine"));
    m_refusedLine->setAlignment(Qt::AlignHCenter);
    m_refusedLine->setWordWrap(true);
    m_refusedLine->setStyleSheet(QStringLiteral("color: #c26a00;"));
    // Keeps its room while hidden, so the zone does not jump when the line comes and goes.
    QSizePolicy keepsRoom = m_refusedLine->sizePolicy();
    keepsRoom.setRetainSizeWhenHidden(true);
    m_refusedLine->setSizePolicy(keepsRoom);
    m_refusedLine->hide();
    m_refusedTimer.setSingleShot(true);
    m_refusedTimer.setInterval(6000);
    connect(&m_refusedTimer, &QTimer::timeout, m_refusedLine, &QWidget::hide);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(glowRadius + 1, glowRadius + 1, glowRadius + 1, glowRadius + 1);
    layout->addWidget(makeZone(), 1);
    layout->addWidget(m_refusedLine);
    layout->addWidget(m_clearButton, 0, Qt::AlignHCenter);

    connect(&m_state, &HomeState::changed, this, &FileDropAreaView::refresh);
    connect(&m_state, &HomeState::filesRefused, this, &FileDropAreaView::showRefused);
    refresh();
}

QWidget* FileDropAreaView::makeZone()
{
    m_zone = new QWidget(this);
    m_zone->setMinimumSize(200, 200);
    m_zone->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    auto* stack = new QVBoxLayout(m_zone);
    stack->addStretch();
    if (const QPixmap icon = greyIcon(devicePixelRatioF()); !icon.isNull()) {
        auto* iconLabel = new QLabel(m_zone);
        iconLabel->setPixmap(icon);
        stack->addWidget(iconLabel, 0, Qt::AlignHCenter);
    }
    m_countLabel = new QLabel(m_zone);
    m_countLabel->setObjectName(QStringLiteral("fileCountLabel"));
    setTextColor(m_countLabel, QPalette::WindowText, grey);
    stack->addWidget(m_countLabel, 0, Qt::AlignHCenter);
    stack->addStretch();
    return m_zone;
}

void FileDropAreaView::refresh()
{
    const auto& files = m_state.draggedFiles();
    m_countLabel->setText(tr("%1 file(s) selected").arg(files.size()));
    m_clearButton->setEnabled(!files.isEmpty() && !m_state.isWatermarking());
}

void FileDropAreaView::showRefused(qsizetype count)
{
    m_refusedLine->setText(count == 1 ? tr("1 file not added: not a PDF, PNG, JPEG or TIFF")
                                      : tr("%1 files not added: not a PDF, PNG, JPEG or TIFF").arg(count));
    m_refusedLine->show();
    m_refusedTimer.start();
}

QString FileDropAreaView::refusedLine() const
{
    return m_refusedLine->isVisibleTo(this) ? m_refusedLine->text() : QString();
}

void FileDropAreaView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    // Half a pixel in, so a one-pixel line falls on whole pixels.
    const QRectF outline = QRectF(m_zone->geometry()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(grey, 1));
    painter.drawRoundedRect(outline, cornerRadius, cornerRadius);
    if (!m_isDragging)
        return;
    paintGlow(painter, outline);
    painter.setPen(QPen(blue, 2));
    painter.drawRoundedRect(outline, cornerRadius, cornerRadius);
}

bool FileDropAreaView::isOverZone(const QPointF& position) const
{
    return m_zone->geometry().contains(position.toPoint());
}

void FileDropAreaView::setDragging(bool dragging)
{
    if (m_isDragging == dragging)
        return;
    m_isDragging = dragging;
    update();
}

void FileDropAreaView::dragEnterEvent(QDragEnterEvent* event)
{
    // During a run nothing can be added, so the zone does not offer to take the files.
    if (m_state.isWatermarking() || !FileIntake::carriesLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    // Accepted anywhere on the view, so a drag that comes in over the button still reaches the
    // zone; the moves decide where it may land.
    FileIntake::acceptAsCopy(event);
    setDragging(isOverZone(event->position()));
}

void FileDropAreaView::dragMoveEvent(QDragMoveEvent* event)
{
    setDragging(!m_state.isWatermarking() && isOverZone(event->position()));
    if (m_isDragging)
        FileIntake::acceptAsCopy(event);
    else
        event->ignore();
}

void FileDropAreaView::dragLeaveEvent(QDragLeaveEvent*)
{
    setDragging(false);
}

void FileDropAreaView::dropEvent(QDropEvent* event)
{
    setDragging(false);
    if (m_state.isWatermarking() || !isOverZone(event->position()) ||
        !FileIntake::carriesLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    FileIntake::acceptAsCopy(event);
    FileIntake::take(m_state, event->mimeData()->urls());
}
