#include "home/FileDropAreaView.h"

#include "home/HomeState.h"
#include "home/MainThread.h"
#include "widgets/Icons.h"

#include <QDragEnterEvent>
#include <QLabel>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>
#include <QVBoxLayout>

#include <algorithm>

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

bool carriesLocalFiles(const QMimeData* data)
{
    const QList<QUrl> urls = data->hasUrls() ? data->urls() : QList<QUrl>();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

// Judged by content, since a name says nothing about what a file holds. Safe on any thread.
bool isAcceptedFile(const QString& path)
{
    // Exact names: a type that merely derives from one of these (a PDF-based format, say) is out.
    static const QStringList accepted{QStringLiteral("application/pdf"), QStringLiteral("image/png"),
                                      QStringLiteral("image/jpeg"), QStringLiteral("image/tiff")};
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchContent);
    return accepted.contains(type.name());
}

// The files are only read, so a drag that offers to move them must not have its source delete them.
void acceptAsCopy(QDropEvent* event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

} // namespace

FileDropAreaView::FileDropAreaView(HomeState& state, QWidget* parent) : QWidget(parent), m_state(state)
{
    setAcceptDrops(true);
    m_clearButton = new QPushButton(tr("Clear Selection"), this);
    m_clearButton->setObjectName(QStringLiteral("clearSelectionButton"));
    setTextColor(m_clearButton, QPalette::ButtonText, Qt::red);
    connect(m_clearButton, &QPushButton::clicked, &m_state, &HomeState::clearSelection);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(glowRadius + 1, glowRadius + 1, glowRadius + 1, glowRadius + 1);
    layout->addWidget(makeZone(), 1);
    layout->addWidget(m_clearButton, 0, Qt::AlignHCenter);

    connect(&m_state, &HomeState::changed, this, &FileDropAreaView::refresh);
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
    if (!carriesLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    // Accepted anywhere on the view, so a drag that comes in over the button still reaches the
    // zone; the moves decide where it may land.
    acceptAsCopy(event);
    setDragging(isOverZone(event->position()));
}

void FileDropAreaView::dragMoveEvent(QDragMoveEvent* event)
{
    setDragging(isOverZone(event->position()));
    if (m_isDragging)
        acceptAsCopy(event);
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
    if (m_state.isWatermarking() || !isOverZone(event->position()) || !carriesLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    acceptAsCopy(event);
    takeFiles(event->mimeData()->urls());
}

void FileDropAreaView::takeFiles(const QList<QUrl>& urls)
{
    // The worker never touches the state; a screen closed in the meantime drops the post.
    const QPointer<HomeState> state(&m_state);
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        QThreadPool::globalInstance()->start([state, url] {
            if (isAcceptedFile(url.toLocalFile()))
                MainThread::post(state, [state, url] { state->appendFile(url); });
        });
    }
}
