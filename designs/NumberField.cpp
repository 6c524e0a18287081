#include "designs/NumberField.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

NumberField::NumberField(double minimum, double maximum, QWidget* parent)
    : QLineEdit(parent), m_minimum(minimum), m_maximum(maximum)
{
    setFixedWidth(50);
    setAlignment(Qt::AlignRight);
    connect(this, &QLineEdit::editingFinished, this, &NumberField::commit);
}

void NumberField::showValue(double value)
{
    m_shown = value;
    // A fraction shown rounded would hide what is stored: 12.5 must not read as 13.
    const bool whole = std::isfinite(value) && value == std::round(value);
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    const QString text = locale.toString(value, 'f', whole ? 0 : 2);
    if (this->text() != text)
        setText(text);
}

void NumberField::commit()
{
    QLocale locale;
    bool ok = false;
    double value = locale.toDouble(text().trimmed(), &ok);
    // A point is read as a decimal separator even where the locale writes a comma.
    if (!ok)
        value = QLocale::c().toDouble(text().trimmed(), &ok);
    if (!ok || !std::isfinite(value)) {
        showValue(m_shown);
        return;
    }
    // A size out of range draws nothing or swamps the page; the field shows what is stored.
    value = std::clamp(value, m_minimum, m_maximum);
    Q_EMIT valueCommitted(value);
    showValue(value);
}
