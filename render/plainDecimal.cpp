#include "render/plainDecimal.h"

#include <QByteArray>

#include <cmath>

std::string plainDecimal(double value)
{
    if (!std::isfinite(value) || std::abs(value) < 0.0000005)
        return "0";
    std::string text = QByteArray::number(value, 'f', 6).toStdString();
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
        text.pop_back();
    return text == "-0" ? "0" : text;
}
