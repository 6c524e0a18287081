#pragma once

#include <QWidget>

class HomeState;
class QLabel;
class QPushButton;

// Where the Home screen's watermarked files go: the chosen folder and the button that changes it.
class OutputDirectoryPicker : public QWidget
{
    Q_OBJECT

public:
    explicit OutputDirectoryPicker(HomeState& state, QWidget* parent = nullptr);

    // Asks for a folder and keeps a confirmed answer, even one without a folder; a cancel
    // changes nothing.
    void chooseOutputDirectory();

private:
    QLayout* makeHeadingRow();
    void refresh();

    HomeState& m_state;
    QPushButton* m_openButton = nullptr;
    QLabel* m_selectedLabel = nullptr;
};
