#pragma once

#include <QSlider>

// A continuous horizontal slider over a range of doubles. QSlider counts in whole steps, so
// the range is divided finely (steps of resolution) and mapped back to doubles.
class ValueSlider : public QSlider
{
    Q_OBJECT

public:
    ValueSlider(double minimum, double maximum, double resolution, QWidget* parent = nullptr);

    double doubleValue() const;
    // Shows value without emitting valueEdited.
    void showValue(double value);

Q_SIGNALS:
    // Each new value the user gives by dragging, clicking or the keyboard.
    void valueEdited(double value);

private:
    double m_minimum;
    double m_resolution;
};
