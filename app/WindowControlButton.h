#pragma once

#include <QAbstractButton>

// One of the small round buttons that stand in for the window frame's own controls, which a
// frameless window does not have. It only draws itself; the header decides what a click does.
class WindowControlButton : public QAbstractButton
{
    Q_OBJECT

public:
    enum class Kind
    {
        minimise,
        maximise,
        close,
    };

    explicit WindowControlButton(Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return m_kind; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void nameAfterWindowState();
    QColor circleColor() const;
    void drawGlyph(QPainter& painter, const QRectF& box) const;

    Kind m_kind;
};
