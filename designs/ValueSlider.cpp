#include "designs/ValueSlider.h"

#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

ValueSlider::ValueSlider(double minimum, double maximum, double resolution, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), m_minimum(minimum), m_resolution(resolution)
{
    const int steps = static_cast<int>(std::lround((maximum - minimum) / resolution));
    setRange(0, steps);
    // Arrow keys move by one unit (one degree, one percent) or a hundredth of a shorter range;
    // Page Up and Down by a tenth of the range.
    setSingleStep(std::max(1, std::min(steps / 100, static_cast<int>(std::lround(1.0 / resolution)))));
    setPageStep(std::max(1, steps / 10));
    setTickPosition(QSlider::NoTicks);
    connect(this, &QSlider::valueChanged, this, [this] { Q_EMIT valueEdited(doubleValue()); });
}

double ValueSlider::doubleValue() const
{
    return m_minimum + value() * m_resolution;
}

void ValueSlider::showValue(double value)
{
    const QSignalBlocker blocker(this);
    const double step = std::isfinite(value) ? (value - m_minimum) / m_resolution : 0.0;
    setValue(static_cast<int>(std::lround(std::clamp(step, 0.0, static_cast<double>(maximum())))));
}
