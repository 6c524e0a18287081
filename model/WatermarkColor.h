#pragma once

#include "model/Result.h"

#include <QByteArray>
#include <QColor>

// The text colour of a design: sRGB red, green, blue and alpha as doubles from 0 to 1.
// Kept as doubles rather than in a QColor, whose 16-bit channels would not give back
// exactly what was stored; drawing converts it with toQColor().
class WatermarkColor
{
public:
    constexpr WatermarkColor() = default;
    constexpr WatermarkColor(double red, double green, double blue, double alpha = 1.0)
        : m_red(red), m_green(green), m_blue(blue), m_alpha(alpha)
    {}
    static WatermarkColor fromQColor(const QColor& color);
    static constexpr WatermarkColor black() { return {0.0, 0.0, 0.0, 1.0}; }

    double red() const { return m_red; }
    double green() const { return m_green; }
    double blue() const { return m_blue; }
    double alpha() const { return m_alpha; }
    QColor toQColor() const;

    bool operator==(const WatermarkColor&) const = default;

    // The archived byte form stored (Base64) under "textColor": a small self-describing,
    // versioned JSON document. Fails for a component that is not a finite number.
    Result<QByteArray> archive() const;

    // Reads bytes written by archive(); the error describes what is wrong with them.
    static Result<WatermarkColor> unarchive(const QByteArray& bytes);

private:
    double m_red = 0.0;
    double m_green = 0.0;
    double m_blue = 0.0;
    double m_alpha = 1.0;
};
