#pragma once

#include <QWidget>

// The one main window. It has no frame, so that the screens' header bars reach its top edge;
// a thin margin all around stands in for the frame's edges and resizes the window.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::Edges edgesAt(const QPoint& position) const;
};
