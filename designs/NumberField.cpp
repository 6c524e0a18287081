#include "designs/NumberField.h"

#include <QLocale>

#include <cmath>

NumberField::NumberField(QWidget* parent) : QLineEdit(parent)
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
    if (ok && std::isfinite(value))
        Q_EMIT valueCommitted(value);
    showValue(ok && std::isfinite(value) ? value : m_shown);
}
