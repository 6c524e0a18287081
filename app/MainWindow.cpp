#include "app/MainWindow.h"

#include "app/ContentView.h"
#include "widgets/Icons.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace {

constexpr int resizeMargin = 4;

Qt::CursorShape cursorFor(Qt::Edges edges)
{
    if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge))
        return Qt::SizeFDiagCursor;
    if (edges == (Qt::RightEdge | Qt::TopEdge) || edges == (Qt::LeftEdge | Qt::BottomEdge))
        return Qt::SizeBDiagCursor;
    if (edges & (Qt::LeftEdge | Qt::RightEdge))
        return Qt::SizeHorCursor;
    return Qt::SizeVerCursor;
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("Dador Aduravuzo"));
    setWindowIcon(Icons::applicationIcon());
    setMouseTracking(true);

    m_content = new ContentView(this);
    // The content keeps the ordinary pointer; only the margin around it shows the resize ones.
    m_content->setCursor(Qt::ArrowCursor);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(resizeMargin, resizeMargin, resizeMargin, resizeMargin);
    layout->addWidget(m_content);
    fitToScreen(true);
}

void MainWindow::fitToScreen(bool resizeToDefault)
{
    // At 200 % a 1920 × 1080 screen has room for 960 × 540 points less its panels: a window whose
    // least size is larger puts its own controls out of reach.
    const QSize room = screen() ? screen()->availableGeometry().size() : QSize(1000, 440);
    const QSize least = QSize(1000, 440).boundedTo(room);
    setMinimumSize(least);
    m_content->setMinimumSize(QSize(800, 400).boundedTo(least - QSize(2 * resizeMargin, 2 * resizeMargin)));
    if (resizeToDefault)
        resize(QSize(1100, 700).boundedTo(room));
    else if (!isMaximized() && !isFullScreen())
        resize(size().boundedTo(room));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_content->mayLeave())
        event->accept();
    else
        event->ignore();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_watchedScreen)
        return;
    m_watchedScreen = true;
    // A window moved to a smaller screen, or a screen whose scale changes, keeps it within.
    connect(windowHandle(), &QWindow::screenChanged, this, [this] { fitToScreen(false); });
}

void MainWindow::openFiles(const QList<QUrl>& files)
{
    m_content->openFiles(files);
}

Qt::Edges MainWindow::edgesAt(const QPoint& position) const
{
    Qt::Edges edges;
    if (position.x() < resizeMargin)
        edges |= Qt::LeftEdge;
    if (position.x() >= width() - resizeMargin)
        edges |= Qt::RightEdge;
    if (position.y() < resizeMargin)
        edges |= Qt::TopEdge;
    if (position.y() >= height() - resizeMargin)
        edges |= Qt::BottomEdge;
    return edges;
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    const Qt::Edges edges = edgesAt(event->position().toPoint());
    if (edges && !isMaximized())
        setCursor(cursorFor(edges));
    else
        unsetCursor();
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    const Qt::Edges edges = edgesAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && edges && !isMaximized() && windowHandle())
        windowHandle()->startSystemResize(edges);
}

void MainWindow::leaveEvent(QEvent*)
{
    unsetCursor();
}

void MainWindow::paintEvent(QPaintEvent*)
{
    // Without a frame, a hairline keeps the window apart from what lies behind it.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
