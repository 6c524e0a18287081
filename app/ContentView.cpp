#include "app/ContentView.h"

#include "app/CustomHeaderView.h"
#include "designs/WatermarksView.h"
#include "home/FileIntake.h"
#include "home/HomeView.h"
#include "widgets/Icons.h"

#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

struct SidebarRow
{
    Tab tab;
    const char* label;
    const char* icon;
};

// The label of the Watermarks row is not its screen's title.
constexpr SidebarRow sidebarRows[] = {
    {Tab::home, QT_TRANSLATE_NOOP("ContentView", "Home"), "house"},
    {Tab::watermarks, QT_TRANSLATE_NOOP("ContentView", "Watermarks"), "seal.fill"},
};

constexpr int sidebarTopPadding = 10;
constexpr int sidebarWidth = 250;
constexpr int sidebarMinimumWidth = 200;
constexpr int sidebarMaximumWidth = 300;
constexpr int rowHeight = 28;

} // namespace

ContentView::ContentView(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(800, 400);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(makeSidebar());
    m_splitter->addWidget(makeDetailColumn());
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({sidebarWidth, minimumWidth() - sidebarWidth});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    m_home = new HomeView(m_screens);
    m_screens->layout()->addWidget(m_home);
    connect(m_home, &HomeView::createDesignRequested, this, &ContentView::createDesign);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &ContentView::takeSelectionFromList);
    selectRowOfTab();
    showDetail();
}

QWidget* ContentView::makeSidebar()
{
    auto* sidebar = new QWidget(this);
    sidebar->setMinimumWidth(sidebarMinimumWidth);
    sidebar->setMaximumWidth(sidebarMaximumWidth);
    sidebar->setAutoFillBackground(true);
    QPalette tinted = sidebar->palette();
    tinted.setColor(QPalette::Window, tinted.color(QPalette::Window).darker(104));
    sidebar->setPalette(tinted);
    auto* layout = new QVBoxLayout(sidebar);
    layout->setContentsMargins(0, sidebarTopPadding, 0, 0);

    m_list = new QListWidget(sidebar);
    m_list->setObjectName(QStringLiteral("sidebar"));
    m_list->setAccessibleName(tr("Sections"));
    m_list->setFrameShape(QFrame::NoFrame);
    // A keyboard user sees where the focus is.
    m_list->setStyleSheet(QStringLiteral("QListWidget#sidebar:focus { border: 2px solid palette(highlight); "
                                         "border-radius: 4px; }"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setIconSize({18, 18});
    // Let the sidebar's own background show, as a sidebar does.
    m_list->viewport()->setAutoFillBackground(false);
    m_list->setAutoFillBackground(false);
    for (const SidebarRow& row : sidebarRows) {
        auto* item = new QListWidgetItem(Icons::icon(QString::fromLatin1(row.icon)), tr(row.label), m_list);
        item->setData(Qt::UserRole, static_cast<int>(row.tab));
        item->setSizeHint({0, rowHeight});
    }
    layout->addWidget(m_list);
    return sidebar;
}

// The header bar and its divider stand above every screen, so the screens need nothing from
// the shell; the header stays even without a section, since it carries the window's controls.
QWidget* ContentView::makeDetailColumn()
{
    m_detailColumn = new QWidget(m_splitter);
    m_header = new CustomHeaderView(QString(), m_detailColumn);
    m_divider = new QFrame(m_detailColumn);
    m_divider->setFrameShape(QFrame::HLine);
    m_divider->setFrameShadow(QFrame::Sunken);
    auto* layout = new QVBoxLayout(m_detailColumn);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_header);
    layout->addWidget(m_divider);
    // A screen larger than the window (a small screen at a large scale) scrolls instead of
    // pushing the window past the screen's edges.
    auto* scroll = new QScrollArea(m_detailColumn);
    scroll->setObjectName(QStringLiteral("screenScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    m_screens = new QWidget(scroll);
    auto* screens = new QVBoxLayout(m_screens);
    screens->setContentsMargins(0, 0, 0, 0);
    screens->setSpacing(0);
    scroll->setWidget(m_screens);
    layout->addWidget(scroll, 1);
    return m_detailColumn;
}

void ContentView::setSelectedTab(std::optional<Tab> tab)
{
    if (tab == m_selectedTab)
        return;
    if (!mayLeave()) {
        selectRowOfTab();
        return;
    }
    m_selectedTab = tab;
    selectRowOfTab();
    showDetail();
}

bool ContentView::mayLeave()
{
    auto* designs = qobject_cast<WatermarksView*>(m_detail);
    return !designs || designs->mayLeave();
}

void ContentView::openFiles(const QList<QUrl>& files)
{
    setSelectedTab(Tab::home);
    FileIntake::take(m_home->state(), files);
}

void ContentView::selectRowOfTab()
{
    const QSignalBlocker blocker(m_list);
    // Without a section no row is current either, so none keeps a focus frame that looks chosen.
    m_list->setCurrentItem(nullptr);
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        if (m_selectedTab && item->data(Qt::UserRole).toInt() == static_cast<int>(*m_selectedTab))
            m_list->setCurrentItem(item);
    }
}

void ContentView::takeSelectionFromList()
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    // A click beside the rows would leave no section: the chosen one stays chosen.
    if (selected.isEmpty())
        selectRowOfTab();
    else
        setSelectedTab(static_cast<Tab>(selected.first()->data(Qt::UserRole).toInt()));
}

void ContentView::createDesign()
{
    setSelectedTab(Tab::watermarks);
    if (auto* designs = qobject_cast<WatermarksView*>(m_detail))
        designs->createNewWatermark();
}

QWidget* ContentView::detailWidget() const
{
    return m_detail ? m_detail : m_home;
}

void ContentView::showDetail()
{
    // Deleted at once, so that the designs screen that is left keeps no edits alive.
    delete m_detail;
    m_header->setTitle(m_selectedTab ? rawValue(*m_selectedTab) : QString());
    m_divider->setVisible(m_selectedTab.has_value());
    m_detail = makeDetail();
    m_home->setVisible(!m_detail);
    if (m_detail) {
        m_screens->layout()->addWidget(m_detail);
        m_detail->show(); // at once, so its shortcuts work before the event loop turns
    }
}

QWidget* ContentView::makeDetail()
{
    if (!m_selectedTab)
        return makePlaceholder();
    switch (*m_selectedTab) {
    case Tab::home:
        return nullptr;
    case Tab::watermarks: {
        auto* designs = new WatermarksView(m_screens);
        designs->setRecipient(m_home->state().recipient());
        return designs;
    }
    }
    return makePlaceholder();
}

QWidget* ContentView::makePlaceholder()
{
    auto* placeholder = new QWidget(m_screens);
    auto* layout = new QVBoxLayout(placeholder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* text = new QLabel(tr("Select a section"), placeholder);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text, 1);
    // As tall as the header above, so the text sits in the middle of the whole column.
    layout->addSpacing(CustomHeaderView::barHeight);
    return placeholder;
}
