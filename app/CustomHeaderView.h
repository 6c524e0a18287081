#pragma once

#include <QPoint>
#include <QWidget>

#include <optional>

class ApplicationMenuButton;
class QLabel;

// The bar at the top of each screen: its title, then at the trailing edge the application menu
// and the window's own controls, since the window has neither a frame nor a menu bar of its own.
// Dragging the bar moves the window.
class CustomHeaderView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int barHeight = 20;

    explicit CustomHeaderView(const QString& title, QWidget* parent = nullptr);

    QString title() const;
    void setTitle(const QString& title);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QLabel* makeTitleLabel(const QString& title);
    ApplicationMenuButton* makeApplicationMenu();
    void addWindowControls();
    void toggleMaximized();

    QLabel* m_titleLabel = nullptr;
    // Where a left press began; the move starts only once the pointer really drags, so that a
    // double-click still reaches the bar.
    std::optional<QPoint> m_pressPosition;
};
