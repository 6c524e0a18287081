#include "app/CustomHeaderView.h"

#include "app/ApplicationMenuButton.h"
#include "app/DadorAduravuzoApp.h"
#include "app/WindowControlButton.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace {

constexpr int titleLeadingPadding = 24;
constexpr int controlsTrailingPadding = 8;
constexpr int controlsSpacing = 6;
// Keeps the menu apart from the window's controls, which do something else entirely.
constexpr int menuTrailingSpacing = 6;

} // namespace

CustomHeaderView::CustomHeaderView(const QString& title, QWidget* parent) : QWidget(parent)
{
    setFixedHeight(barHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(titleLeadingPadding, 0, controlsTrailingPadding, 0);
    row->setSpacing(controlsSpacing);
    m_titleLabel = makeTitleLabel(title);
    row->addWidget(m_titleLabel);
    row->addStretch(1);
    row->addWidget(makeApplicationMenu());
    row->addSpacing(menuTrailingSpacing);
    addWindowControls();
}

QString CustomHeaderView::title() const
{
    return m_titleLabel->text();
}

void CustomHeaderView::setTitle(const QString& title)
{
    m_titleLabel->setText(title);
}

QLabel* CustomHeaderView::makeTitleLabel(const QString& title)
{
    auto* label = new QLabel(title, this);
    QFont font = label->font();
    font.setPixelSize(16);
    font.setWeight(QFont::Medium);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A long title is cut at the bar's end rather than widening the window: a minimum of 0 would
    // mean "the whole text" to the layout.
    label->setMinimumWidth(1);
    // Presses on the title belong to the bar, which drags the window.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

ApplicationMenuButton* CustomHeaderView::makeApplicationMenu()
{
    DadorAduravuzoApp* app = DadorAduravuzoApp::current();
    return new ApplicationMenuButton(app ? &app->updaterController().updater() : nullptr, this);
}

void CustomHeaderView::addWindowControls()
{
    using Kind = WindowControlButton::Kind;
    auto* minimise = new WindowControlButton(Kind::minimise, this);
    auto* maximise = new WindowControlButton(Kind::maximise, this);
    auto* close = new WindowControlButton(Kind::close, this);
    connect(minimise, &QAbstractButton::clicked, this, [this] { window()->showMinimized(); });
    connect(maximise, &QAbstractButton::clicked, this, &CustomHeaderView::toggleMaximized);
    connect(close, &QAbstractButton::clicked, this, [this] { window()->close(); });
    for (QWidget* button : {minimise, maximise, close})
        layout()->addWidget(button);
}

void CustomHeaderView::toggleMaximized()
{
    QWidget* top = window();
    if (top->isMaximized())
        top->showNormal();
    else
        top->showMaximized();
}

void CustomHeaderView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(128, 128, 128, qRound(255 * 0.1)));
}

void CustomHeaderView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pressPosition = event->position().toPoint();
}

void CustomHeaderView::mouseMoveEvent(QMouseEvent* event)
{
    const bool dragging = m_pressPosition && (event->buttons() & Qt::LeftButton) &&
                          (event->position().toPoint() - *m_pressPosition).manhattanLength() >=
                              QApplication::startDragDistance();
    if (dragging && window()->windowHandle()) {
        m_pressPosition.reset();
        window()->windowHandle()->startSystemMove();
    }
}

void CustomHeaderView::mouseReleaseEvent(QMouseEvent*)
{
    m_pressPosition.reset();
}

void CustomHeaderView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        toggleMaximized();
}
