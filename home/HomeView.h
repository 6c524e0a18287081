#pragma once

#include "home/HomeState.h"

#include <QWidget>

class QComboBox;
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
    QListWidget* fileList() const { return m_fileList; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeLeftColumn();
    QWidget* makeRightColumn();
    QWidget* makeDesignRow();
    QWidget* makeFilesSection();
    void refresh();
    void refreshDesigns();
    void refreshFiles();
    void showFileMenu(const QPoint& position);

    HomeState m_state;
    QWidget* m_leftColumn = nullptr;
    QComboBox* m_designPicker = nullptr;
    QListWidget* m_fileList = nullptr;
};
