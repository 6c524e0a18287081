#include "designs/ColorWell.h"

#include "widgets/Dialogs.h"

#include <QPainter>
#include <QPainterPath>

ColorWell::ColorWell(QWidget* parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(tr("Text Color"));
    connect(this, &QAbstractButton::clicked, this, &ColorWell::pick);
}

void ColorWell::showColor(const QColor& color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

QSize ColorWell::sizeHint() const
{
    return {44, 24};
}

void ColorWell::pick()
{
    if (const auto chosen = Dialogs::chooseColor(this, m_color)) {
        showColor(*chosen);
        Q_EMIT colorPicked(*chosen);
    }
}

void ColorWell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(frame, 4, 4);
    painter.setClipPath(shape);
    constexpr int cell = 6;
    for (int y = 0; y < height(); y += cell) {
        for (int x = 0; x < width(); x += cell)
            painter.fillRect(x, y, cell, cell, ((x + y) / cell) % 2 ? QColor(204, 204, 204) : Qt::white);
    }
    painter.fillRect(rect(), m_color);
    painter.setClipping(false);
    painter.setPen(QPen(hasFocus() ? palette().color(QPalette::Highlight) : QColor(160, 160, 160), 1));
    painter.drawPath(shape);
}
