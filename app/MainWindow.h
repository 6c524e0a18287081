#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

class ContentView;

// The one main window. It has no frame, so that the screens' header bars reach its top edge;
// a thin margin all around stands in for the frame's edges and resizes the window. Its default
// and least sizes never exceed the screen's available area.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);

    // Shows the Home screen and lists the files there as a drop would (the program's arguments).
    void openFiles(const QList<QUrl>& files);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Stays open while the screen shown may not go (edits not stored, and the user cancelled).
    void closeEvent(QCloseEvent* event) override;

private:
    // Bounds the least size (and the size, or the default one) by the screen's available area.
    void fitToScreen(bool resizeToDefault);
    Qt::Edges edgesAt(const QPoint& position) const;

    ContentView* m_content = nullptr;
    bool m_watchedScreen = false;
};
