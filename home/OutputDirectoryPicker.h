#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

#include <optional>

class HomeState;
class QLabel;
class QPushButton;

// Where the Home screen's watermarked files go: the chosen folder, the button that changes it, and
// a warning when the run would replace listed files with their watermarked copies.
class OutputDirectoryPicker : public QWidget
{
    Q_OBJECT

public:
    explicit OutputDirectoryPicker(HomeState& state, QWidget* parent = nullptr);

    // Asks for a folder, starting in the last one chosen or else the home folder, and keeps a
    // confirmed answer, even one without a folder; a cancel changes nothing.
    void chooseOutputDirectory();

private:
    QLayout* makeHeadingRow();
    void refresh();
    void refreshReplacementLine();

    HomeState& m_state;
    QPushButton* m_openButton = nullptr;
    QLabel* m_selectedLabel = nullptr;
    QLabel* m_replacementLine = nullptr;
    std::optional<QUrl> m_lastChosen;
    // What the replacement line was worked out for: it reads the disk, so not on every change.
    QList<QUrl> m_checkedFiles;
    std::optional<QUrl> m_checkedFolder;
    bool m_checked = false;
};
