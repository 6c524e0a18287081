#pragma once

#include "home/FileReport.h"

#include <QListView>

class FileListModel;
class HomeState;

// The Home screen's list of files, one row per listed file in list order. Once the run has
// reached a file, its row shows what became of it; the tooltip gives the whole path and the
// reason. Files dropped here join the list as they do through the drop zone.
class FileListView : public QListView
{
    Q_OBJECT

public:
    explicit FileListView(HomeState& state, QWidget* parent = nullptr);

    // "Not watermarked: needs a password" for the selected row, empty while no single row is
    // selected or the last run has not reached its file.
    QString selectedOutcome() const;

    // One line for a report: "Watermarked: <output>", "Not watermarked: <reason>" or
    // "Skipped: <reason>".
    static QString outcomeText(const FileReport& report);

Q_SIGNALS:
    void selectedFilesChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void showMenu(const QPoint& position);
    bool takesDrop(const QDropEvent* event) const;

    HomeState& m_state;
    FileListModel* m_model;
};
