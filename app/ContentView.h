#pragma once

#include "app/Tab.h"

#include <QList>
#include <QUrl>
#include <QWidget>

#include <optional>

class CustomHeaderView;
class HomeView;
class QFrame;
class QListWidget;
class QSplitter;

// The window's root: a sidebar with the sections and, beside it, the chosen section's screen.
// The Home screen lives as long as the window, so its files, folder, design and a running batch
// are there when the user comes back; the designs screen is built afresh on each visit and
// loads the saved designs. A section is always chosen.
class ContentView : public QWidget
{
    Q_OBJECT

public:
    explicit ContentView(QWidget* parent = nullptr);

    std::optional<Tab> selectedTab() const { return m_selectedTab; }
    // Selects that section's row, or none, and shows its screen, once the screen shown may go
    // (mayLeave); otherwise its row stays chosen.
    void setSelectedTab(std::optional<Tab> tab);
    // Whether the screen shown may go: the designs screen asks about edits not stored.
    bool mayLeave();
    // Shows the Home screen and hands the files to the same intake as a drop on it, which
    // judges them by content and skips those already listed.
    void openFiles(const QList<QUrl>& files);
    // The screen in the detail column, below the header bar.
    QWidget* detailWidget() const;
    HomeView* homeView() const { return m_home; }

private:
    QWidget* makeSidebar();
    QWidget* makeDetailColumn();
    QWidget* makeDetail();
    QWidget* makePlaceholder();
    void showDetail();
    void selectRowOfTab();
    void takeSelectionFromList();
    void createDesign();

    std::optional<Tab> m_selectedTab = Tab::home;
    QSplitter* m_splitter = nullptr;
    QListWidget* m_list = nullptr;
    QWidget* m_detailColumn = nullptr;
    CustomHeaderView* m_header = nullptr;
    QFrame* m_divider = nullptr;
    // Holds the screens, within a scroll area.
    QWidget* m_screens = nullptr;
    HomeView* m_home = nullptr;
    // The screen of any other section, or the placeholder.
    QWidget* m_detail = nullptr;
};
