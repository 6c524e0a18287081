#pragma once

#include <QUrl>
#include <QWidget>

#include <optional>

class HomeState;
class QLabel;
class QProgressBar;
class QPushButton;

// The batch row: progress while a run goes on, then what the run came to ("Done" only when
// every stamped file was written) with "Show in Folder"; and the "Watermark" / "Stop" button.
class GenerateButton : public QWidget
{
    Q_OBJECT

public:
    explicit GenerateButton(HomeState& state, QWidget* parent = nullptr);

    QPushButton* button() const { return m_button; }
    // The caption beside the progress bar, e.g. "Processing 3 of 10 files".
    QString caption() const;
    // What the last run came to, e.g. "Done" or "Stopped after 3 of 10 files"; empty before
    // the end of a run.
    QString result() const;

    // What the run still needs, e.g. "To watermark, add files and select a design."; empty when
    // it can start.
    QString missingForRun() const;

private:
    // Asks before a run that would replace listed files with their stamped copies.
    bool confirmReplacingOriginals();
    void refresh();
    void showProgress(bool running, bool done);
    void showResult();

    HomeState& m_state;
    QProgressBar* m_progress;
    QLabel* m_caption;
    QLabel* m_seal;
    QLabel* m_result;
    QPushButton* m_showInFolder;
    QPushButton* m_button;
    // The run's own list length and folder, which the screen may change once it has ended.
    qsizetype m_runLength = 0;
    std::optional<QUrl> m_runFolder;
    bool m_wasRunning = false;
};
