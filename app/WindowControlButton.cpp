#include "app/WindowControlButton.h"

#include <QEvent>
#include <QPainter>

namespace {

constexpr int diameter = 14;

QString nameOf(WindowControlButton::Kind kind, bool maximised)
{
    switch (kind) {
    case WindowControlButton::Kind::minimise:
        return QObject::tr("Minimise");
    case WindowControlButton::Kind::maximise:
        return maximised ? QObject::tr("Restore") : QObject::tr("Maximise");
    case WindowControlButton::Kind::close:
        return QObject::tr("Close");
    }
    return {};
}

} // namespace

WindowControlButton::WindowControlButton(Kind kind, QWidget* parent) : QAbstractButton(parent), m_kind(kind)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    // Repaint on entering and leaving, for the hover colour.
    setAttribute(Qt::WA_Hover);
    nameAfterWindowState();
}

void WindowControlButton::nameAfterWindowState()
{
    const QString name = nameOf(m_kind, window()->isMaximized());
    setToolTip(name);
    setAccessibleName(name);
}

// Only the window hears of its own state changes, and the button may have joined it after being made.
void WindowControlButton::showEvent(QShowEvent* event)
{
    QAbstractButton::showEvent(event);
    if (m_kind == Kind::maximise)
        window()->installEventFilter(this);
    nameAfterWindowState();
}

bool WindowControlButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window() && event->type() == QEvent::WindowStateChange)
        nameAfterWindowState();
    return QAbstractButton::eventFilter(watched, event);
}

QSize WindowControlButton::sizeHint() const
{
    return {diameter, diameter};
}

QColor WindowControlButton::circleColor() const
{
    if (!underMouse())
        return QColor(0, 0, 0, 40);
    return m_kind == Kind::close ? QColor(0xe0, 0x4b, 0x3f) : QColor(0, 0, 0, 70);
}

void WindowControlButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(circleColor());
    painter.drawEllipse(circle);

    const bool onRed = underMouse() && m_kind == Kind::close;
    painter.setPen(
        QPen(onRed ? QColor(Qt::white) : QColor(0x44, 0x44, 0x44), 1.2, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    const qreal inset = circle.width() * 0.3;
    drawGlyph(painter, circle.adjusted(inset, inset, -inset, -inset));
}

void WindowControlButton::drawGlyph(QPainter& painter, const QRectF& box) const
{
    switch (m_kind) {
    case Kind::minimise:
        painter.drawLine(QPointF(box.left(), box.center().y()), QPointF(box.right(), box.center().y()));
        return;
    case Kind::maximise:
        if (window()->isMaximized()) {
            const qreal step = box.width() / 3;
            painter.drawRect(box.adjusted(0, step, -step, 0));
            painter.drawPolyline(QList<QPointF>{{box.left() + step, box.top() + step},
                                                {box.left() + step, box.top()},
                                                {box.right(), box.top()},
                                                {box.right(), box.bottom() - step},
                                                {box.right() - step, box.bottom() - step}});
        } else {
            painter.drawRect(box);
        }
        return;
    case Kind::close:
        painter.drawLine(box.topLeft(), box.bottomRight());
        painter.drawLine(box.topRight(), box.bottomLeft());
        return;
    }
}
