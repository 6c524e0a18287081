#pragma once

#include "home/HomeState.h"

#include <QWidget>

class FileListView;
class QComboBox;
class QLineEdit;
class QLabel;
class QPushButton;

// The Home screen: output folder, design picker, file list, batch row and drop area with the
// buttons that add files from dialogs. It owns all of its state; the window keeps the screen for
// its whole life, so a run and its result stay when another section is shown.
class HomeView : public QWidget
{
    Q_OBJECT

public:
    explicit HomeView(QWidget* parent = nullptr);

    HomeState& state() { return m_state; }
    QComboBox* designPicker() const { return m_designPicker; }
    QLineEdit* recipientField() const { return m_recipient; }
    FileListView* fileList() const { return m_fileList; }
    // The line under the list with the selected file's outcome, e.g. "Not watermarked: needs a password".
    QLabel* outcomeLine() const { return m_outcomeLine; }

    // "Add Files…" (Ctrl+O): files chosen in a dialog join the list as a drop does.
    void addFiles();
    // "Add Folder…": a folder's files join the list as the folder dropped does.
    void addFolder();

Q_SIGNALS:
    // "Create a Design" was pressed: there is no design to choose yet.
    void createDesignRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* makeLeftColumn();
    QWidget* makeRightColumn();
    QWidget* makeDesignRow();
    QWidget* makeRecipientRow();
    QWidget* makeFilesSection();
    QWidget* makeFirstRunLine();
    QWidget* makeAddButtons();
    void refresh();
    void refreshDesigns();
    void refreshOutcomeLine();

    HomeState m_state;
    QWidget* m_leftColumn = nullptr;
    QComboBox* m_designPicker = nullptr;
    QLineEdit* m_recipient = nullptr;
    FileListView* m_fileList = nullptr;
    QLabel* m_outcomeLine = nullptr;
    QWidget* m_firstRunLine = nullptr;
    QPushButton* m_addFiles = nullptr;
    QPushButton* m_addFolder = nullptr;
};
