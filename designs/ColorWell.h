#pragma once

#include <QAbstractButton>
#include <QColor>

// A swatch of one colour over a checkerboard, so its transparency shows. Clicking it asks
// for a new colour, alpha included, through the dialog seam.
class ColorWell : public QAbstractButton
{
    Q_OBJECT

public:
    explicit ColorWell(QWidget* parent = nullptr);

    QColor color() const { return m_color; }
    // Shows color without emitting colorPicked.
    void showColor(const QColor& color);
    QSize sizeHint() const override;

Q_SIGNALS:
    void colorPicked(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void pick();

    QColor m_color = Qt::black;
};
