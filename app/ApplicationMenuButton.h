#pragma once

#include <QToolButton>

class Updater;

// The application menu, at the header bar's trailing end before the window's controls: the
// window has no frame and no menu bar to hold it. It holds "About Dador Aduravuzo", then "Check
// for Updates…" when there is an updater (a screen shown on its own, as in tests, has none),
// then "Quit".
class ApplicationMenuButton : public QToolButton
{
    Q_OBJECT

public:
    explicit ApplicationMenuButton(Updater* updater, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMenu* makeMenu(Updater* updater);
    void showAbout();
};
