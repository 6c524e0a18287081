#pragma once

#include "home/HomeState.h"

#include <QWidget>

class FileListView;
class QComboBox;
class QLabel;
class QListWidget;

// The Home screen: output folder, design picker, file list, batch row and drop area. It owns
// all of its state, which goes with it when the section is left.
class HomeView : public QWidget
{
    Q_OBJECT

public:
    explicit HomeView(QWidget* parent = nullptr);

    HomeState& state() { return m_state; }
    QComboBox* designPicker() const { return m_designPicker; }
    QListWidget* fileList() const;
    // The line under the list with the selected file's outcome, e.g. "Not watermarked: needs a password".
    QLabel* outcomeLine() const { return m_outcomeLine; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* makeLeftColumn();
    QWidget* makeRightColumn();
    QWidget* makeDesignRow();
    QWidget* makeFilesSection();
    void refresh();
    void refreshDesigns();
    void refreshOutcomeLine();

    HomeState m_state;
    QWidget* m_leftColumn = nullptr;
    QComboBox* m_designPicker = nullptr;
    FileListView* m_fileList = nullptr;
    QLabel* m_outcomeLine = nullptr;
};
