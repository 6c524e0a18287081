#pragma once

#include <QTimer>
#include <QWidget>

class HomeState;
class QLabel;
class QPushButton;

// The Home screen's drop zone for input files, with the "Clear Selection" button below it.
// What joins the list is FileIntake's to judge.
class FileDropAreaView : public QWidget
{
    Q_OBJECT

public:
    explicit FileDropAreaView(HomeState& state, QWidget* parent = nullptr);

    // True while a drag carrying local files hovers over the zone.
    bool isDragging() const { return m_isDragging; }
    // The line that says for a few seconds why files of a drop were not added, e.g. "2 files not
    // added: not a PDF, PNG, JPEG or TIFF"; empty while hidden.
    QString refusedLine() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* makeZone();
    void refresh();
    void setDragging(bool dragging);
    void showRefused(qsizetype count);
    bool isOverZone(const QPointF& position) const;

    HomeState& m_state;
    QWidget* m_zone = nullptr;
    QLabel* m_countLabel = nullptr;
    QPushButton* m_clearButton = nullptr;
    QLabel* m_refusedLine = nullptr;
    QTimer m_refusedTimer;
    bool m_isDragging = false;
};
