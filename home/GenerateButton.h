#pragma once

#include <QWidget>

class HomeState;
class QLabel;
class QProgressBar;
class QPushButton;

// The batch row: progress or "Done" on the left, and the "Watermark" / "Stop" button.
class GenerateButton : public QWidget
{
    Q_OBJECT

public:
    explicit GenerateButton(HomeState& state, QWidget* parent = nullptr);

    QPushButton* button() const { return m_button; }
    // The caption beside the progress bar, e.g. "Processing 3 of 10 files".
    QString caption() const;

private:
    void refresh();
    void showProgress(bool running, bool done);

    HomeState& m_state;
    QProgressBar* m_progress;
    QLabel* m_caption;
    QLabel* m_seal;
    QLabel* m_done;
    QPushButton* m_button;
};
