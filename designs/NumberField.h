#pragma once

#include <QLineEdit>

// A 50-wide field for one number within a range. The number is taken when the user commits
// (Enter or leaving the field), brought into the range; text that does not read as a finite
// number is dropped and the field shows the stored value again.
class NumberField : public QLineEdit
{
    Q_OBJECT

public:
    NumberField(double minimum, double maximum, QWidget* parent = nullptr);

    // Shows value: whole numbers as such, others with up to two decimals.
    void showValue(double value);

Q_SIGNALS:
    void valueCommitted(double value);

private:
    void commit();

    double m_minimum;
    double m_maximum;
    double m_shown = 0;
};
