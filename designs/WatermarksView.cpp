#include "designs/WatermarksView.h"

#include "designs/ControlsSection.h"
#include "designs/DesignRowDelegate.h"
#include "designs/PreviewSection.h"
#include "model/StandardOutput.h"
#include "model/WatermarkCoding.h"
#include "widgets/Dialogs.h"
#include "widgets/Icons.h"
#include "widgets/Resources.h"

#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int designsColumnMinimum = 100;
constexpr int designsColumnMaximum = 240;
// Enough of the sample page to judge a design by.
constexpr int previewColumnMinimum = 240;

QFrame* line(QFrame::Shape shape, QWidget* parent)
{
    auto* divider = new QFrame(parent);
    divider->setFrameShape(shape);
    divider->setFrameShadow(QFrame::Sunken);
    return divider;
}

QLabel* centredText(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

std::optional<QString> samplePdf()
{
    Resources::ensureRegistered();
    const QString path = QStringLiteral(":/Lorem_Ipsum.pdf");
    return QFile::exists(path) ? std::optional(path) : std::nullopt;
}

} // namespace

WatermarksView::WatermarksView(QWidget* parent) : QWidget(parent), m_pdfUrl(samplePdf())
{
    // No least size of its own beyond its columns': the window's least size leaves this screen less
    // than a fixed 800 points, and the difference would hide the preview behind a scroll bar.
    auto* columns = new QHBoxLayout(this);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    columns->addWidget(makeDesignsColumn());
    columns->addWidget(line(QFrame::VLine, this));
    columns->addWidget(makeEditorColumn());
    columns->addWidget(line(QFrame::VLine, this));
    columns->addWidget(makePreviewColumn(), 1);

    auto* save = new QShortcut(QKeySequence::Save, this, this, &WatermarksView::saveWatermark);
    auto* create = new QShortcut(QKeySequence::New, this, this, &WatermarksView::createNewWatermark);
    // Window-wide, so they work wherever the focus is, the sidebar included; the screen exists
    // only while it is shown.
    for (QShortcut* shortcut : {save, create})
        shortcut->setContext(Qt::WindowShortcut);

    loadWatermarks();
    showSelection();
}

QWidget* WatermarksView::makeDesignsColumn()
{
    auto* column = new QWidget(this);
    column->setMinimumWidth(designsColumnMinimum);
    column->setMaximumWidth(designsColumnMaximum);
    column->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    m_list = new QListWidget(column);
    m_list->setObjectName(QStringLiteral("designsList"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setAccessibleName(tr("Your designs"));
    // A long name is cut short with an ellipsis; a horizontal scroll bar would only hide the last row.
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setItemDelegate(new DesignRowDelegate(
        [this] { return m_selectedWatermark ? m_selectedWatermark->id() : QUuid(); }, m_list));
    m_list->viewport()->setBackgroundRole(QPalette::Window);
    connect(m_list, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { selectWatermark(designAt(m_list->row(item))); });
    // Arrow keys select too. The list's selection, not its current row, is followed: focusing
    // the list makes its first row current without anyone choosing it.
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> chosen = m_list->selectedItems();
        if (!chosen.isEmpty())
            selectWatermark(designAt(m_list->row(chosen.first())));
    });
    connect(m_list, &QWidget::customContextMenuRequested, this, &WatermarksView::showRowMenu);
    stack->addWidget(m_list, 1);
    stack->addWidget(line(QFrame::HLine, column));

    auto* create = new QPushButton(Icons::icon(QStringLiteral("plus")), tr("New Watermark"), column);
    create->setFlat(true);
    create->setAutoDefault(true);
    QFont font = create->font();
    font.setPixelSize(12);
    create->setFont(font);
    create->setStyleSheet(QStringLiteral("QPushButton { padding: 8px; border: none; text-align: left; }"));
    create->setCursor(Qt::PointingHandCursor);
    connect(create, &QPushButton::clicked, this, &WatermarksView::createNewWatermark);
    stack->addWidget(create);
    return column;
}

QWidget* WatermarksView::makeEditorColumn()
{
    auto* editor = new QWidget(this);
    auto* stack = new QVBoxLayout(editor);
    stack->setContentsMargins(0, 0, 0, 12);
    m_controls = new ControlsSection(editor);
    stack->addWidget(m_controls);
    auto* save = new QPushButton(tr("Save Watermark"), editor);
    save->setAutoDefault(true); // Enter presses the focused button
    connect(save, &QPushButton::clicked, this, &WatermarksView::saveWatermark);
    stack->addWidget(save, 0, Qt::AlignHCenter);
    m_problem = new QLabel(editor);
    m_problem->setObjectName(QStringLiteral("problemLine"));
    m_problem->setWordWrap(true);
    m_problem->setContentsMargins(16, 4, 16, 0); // in line with the cards above
    m_problem->setStyleSheet(QStringLiteral("color: #c26a00;"));
    m_problem->setVisible(false);
    connect(m_controls, &ControlsSection::problem, this, &WatermarksView::showProblem);
    stack->addWidget(m_problem);
    stack->addStretch(1);

    // The controls are taller than the smallest window; they scroll rather than being cut off.
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(editor);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // As narrow as the controls allow: the preview takes the rest of the width.
    scroll->setFixedWidth(editor->minimumSizeHint().width() +
                          scroll->verticalScrollBar()->sizeHint().width());

    auto* hint = new QLabel(tr("Select a watermark from the list or create a new one."), this);
    hint->setMargin(11);
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_editor = new QStackedWidget(this);
    m_editor->addWidget(hint);
    m_editor->addWidget(scroll);
    // As narrow as the controls allow, whatever is selected: the preview takes the rest.
    m_editor->setFixedWidth(editor->minimumSizeHint().width() +
                            scroll->verticalScrollBar()->sizeHint().width());
    return m_editor;
}

QWidget* WatermarksView::makePreviewColumn()
{
    m_previewColumn = new QStackedWidget(this);
    m_previewColumn->setMinimumWidth(previewColumnMinimum);
    m_previewColumn->addWidget(centredText(tr("No watermark selected"), m_previewColumn));
    return m_previewColumn;
}

void WatermarksView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Each time the screen appears, not when the window comes back from being minimised.
    if (!event->spontaneous())
        loadWatermarks();
}

void WatermarksView::loadWatermarks()
{
    m_watermarks = m_store.loadWatermarks().value_or(WatermarkList());
    if (!m_watermarks.empty())
        StandardOutput::printLine(WatermarkCoding::uuidString(m_watermarks.front()->id()));
    showList();
}

void WatermarksView::selectWatermark(std::shared_ptr<WatermarkSettings> design)
{
    if (!design || design == m_selectedWatermark)
        return;
    m_selectedWatermark = std::move(design);
    showSelection();
}

void WatermarksView::createNewWatermark()
{
    m_selectedWatermark = WatermarkSettings::makeNew();
    m_madeAs = m_selectedWatermark->snapshot();
    showSelection();
    // A new design is named first.
    m_controls->nameField()->setFocus(Qt::ShortcutFocusReason);
    m_controls->nameField()->selectAll();
}

bool WatermarksView::saveWatermark()
{
    if (!m_selectedWatermark)
        return false;
    if (m_selectedWatermark->watermarkName().trimmed().isEmpty())
        m_selectedWatermark->setWatermarkName(ControlsSection::untitled());
    const FileOutcome written = m_store.saveWatermark(m_watermarks, m_selectedWatermark);
    showProblem(written ? QString() : tr("Not saved: %1. Your edits are kept.").arg(written.error()));
    showList();
    return written.ok();
}

bool WatermarksView::mayLeave()
{
    const auto unsaved = unsavedDesign();
    if (!unsaved)
        return true;
    const Dialogs::Question question{tr("Save changes to “%1”?").arg(unsaved->watermarkName()),
                                     {tr("Save"), tr("Discard"), tr("Cancel")},
                                     2};
    switch (Dialogs::ask(this, question)) {
    case 0:
        // Saving the selected design lists it; any other edits are in the list already.
        if (unsaved == m_selectedWatermark)
            return saveWatermark();
        if (const FileOutcome written = m_store.storeWatermarks(m_watermarks); !written) {
            showProblem(tr("Not saved: %1. Your edits are kept.").arg(written.error()));
            return false;
        }
        return true;
    case 1:
        return true;
    default:
        return false;
    }
}

// The selected design first, as the one the user looks at.
std::shared_ptr<WatermarkSettings> WatermarksView::unsavedDesign() const
{
    const WatermarkList stored = m_store.loadWatermarks().value_or(WatermarkList());
    const auto differs = [&](const std::shared_ptr<WatermarkSettings>& design) {
        const auto same = std::find_if(stored.begin(), stored.end(),
                                       [&](const auto& candidate) { return *candidate == *design; });
        if (same != stored.end())
            return (*same)->snapshot() != design->snapshot();
        return !m_madeAs || m_madeAs->id != design->id() || *m_madeAs != design->snapshot();
    };
    if (m_selectedWatermark && differs(m_selectedWatermark))
        return m_selectedWatermark;
    const auto edited = std::find_if(m_watermarks.begin(), m_watermarks.end(), differs);
    return edited != m_watermarks.end() ? *edited : nullptr;
}

void WatermarksView::deleteWatermark(std::shared_ptr<WatermarkSettings> design)
{
    const auto written = m_store.deleteWatermark(m_watermarks, *design);
    if (!written)
        return;
    showProblem(*written ? QString() : tr("Not deleted: %1.").arg(written->error()));
    if (!*written)
        return;
    if (m_selectedWatermark && *m_selectedWatermark == *design) {
        m_selectedWatermark.reset();
        showSelection();
    }
    showList();
}

void WatermarksView::showProblem(const QString& text)
{
    m_problem->setText(text);
    m_problem->setVisible(!text.isEmpty());
}

std::shared_ptr<WatermarkSettings> WatermarksView::designAt(int row) const
{
    if (row < 0 || static_cast<size_t>(row) >= m_watermarks.size())
        return nullptr;
    return m_watermarks[static_cast<size_t>(row)];
}

void WatermarksView::showRowMenu(const QPoint& position)
{
    const auto design = designAt(m_list->row(m_list->itemAt(position)));
    if (!design)
        return;
    QMenu menu(this);
    QAction* remove = menu.addAction(Icons::icon(QStringLiteral("trash")), tr("Delete"));
    connect(remove, &QAction::triggered, this, [this, design] { deleteWatermark(design); });
    menu.exec(m_list->viewport()->mapToGlobal(position));
}

// One row per listed design, its name kept up to date as it is edited.
void WatermarksView::showList()
{
    const QSignalBlocker blocker(m_list);
    while (m_list->count() > static_cast<int>(m_watermarks.size()))
        delete m_list->takeItem(m_list->count() - 1);
    while (m_list->count() < static_cast<int>(m_watermarks.size()))
        m_list->addItem(new QListWidgetItem);
    int current = -1;
    for (size_t i = 0; i < m_watermarks.size(); ++i) {
        QListWidgetItem* item = m_list->item(static_cast<int>(i));
        item->setText(m_watermarks[i]->watermarkName());
        item->setData(DesignRowDelegate::idRole, m_watermarks[i]->id());
        if (current < 0 && m_watermarks[i] == m_selectedWatermark)
            current = static_cast<int>(i);
    }
    // Arrow keys go on from the design being edited; with a new design there is no such row.
    m_list->setCurrentRow(current, QItemSelectionModel::ClearAndSelect);
    m_list->viewport()->update();
}

void WatermarksView::showSelection()
{
    disconnect(m_selectionConnection);
    showProblem(QString());
    m_controls->setSettings(m_selectedWatermark);
    m_editor->setCurrentIndex(m_selectedWatermark ? 1 : 0);
    if (m_selectedWatermark) {
        m_selectionConnection =
            connect(m_selectedWatermark.get(), &WatermarkSettings::changed, this, &WatermarksView::showList);
        if (!m_preview) {
            m_preview = new PreviewSection(m_selectedWatermark, m_pdfUrl, m_previewColumn);
            m_preview->setRecipient(m_recipient);
            m_previewColumn->addWidget(m_preview);
        }
        m_preview->setSettings(m_selectedWatermark);
    }
    m_previewColumn->setCurrentIndex(m_selectedWatermark ? 1 : 0);
    showList();
}

void WatermarksView::setRecipient(const QString& recipient)
{
    m_recipient = recipient;
    if (m_preview)
        m_preview->setRecipient(recipient);
}
