#include "home/HomeView.h"

#include "home/FileDropAreaView.h"
#include "home/FileListView.h"
#include "home/GenerateButton.h"
#include "home/OutputDirectoryPicker.h"

#include <QComboBox>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

QLabel* headline(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 1.1);
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    return label;
}

} // namespace

HomeView::HomeView(QWidget* parent) : QWidget(parent)
{
    auto* columns = new QHBoxLayout;
    m_leftColumn = makeLeftColumn();
    columns->addWidget(m_leftColumn, 1);
    columns->addWidget(makeRightColumn(), 1);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    page->addLayout(columns, 1);

    connect(&m_state, &HomeState::changed, this, &HomeView::refresh);
    refresh();
}

QWidget* HomeView::makeLeftColumn()
{
    auto* column = new QWidget(this);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(24, 16, 24, 16);
    stack->setSpacing(20);
    stack->addWidget(new OutputDirectoryPicker(m_state, column));
    stack->addWidget(makeDesignRow());
    stack->addWidget(makeFilesSection(), 1);
    stack->addWidget(new GenerateButton(m_state, column));
    return column;
}

QWidget* HomeView::makeRightColumn()
{
    auto* column = new QWidget(this);
    auto* stack = new QVBoxLayout(column);
    stack->addWidget(headline(QStringLiteral("Drag and Drop Files Here"), column), 0, Qt::AlignHCenter);
    stack->addWidget(new FileDropAreaView(m_state, column), 1);
    return column;
}

QWidget* HomeView::makeDesignRow()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(headline(QStringLiteral("Select a watermark design"), row));
    layout->addStretch(1);
    m_designPicker = new QComboBox(row);
    m_designPicker->setObjectName(QStringLiteral("designPicker"));
    m_designPicker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    layout->addWidget(m_designPicker);
    connect(m_designPicker, &QComboBox::activated, this,
            [this](int index) { m_state.setSelectedWatermarkID(m_designPicker->itemData(index).toUuid()); });
    return row;
}

QWidget* HomeView::makeFilesSection()
{
    auto* section = new QWidget(this);
    auto* stack = new QVBoxLayout(section);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(headline(QStringLiteral("Selected Files"), section));
    m_fileList = new FileListView(m_state, section);
    stack->addWidget(m_fileList, 1);
    m_outcomeLine = new QLabel(section);
    m_outcomeLine->setObjectName(QStringLiteral("fileOutcomeLine"));
    // A reason or a path is shown as written, never read as markup.
    m_outcomeLine->setTextFormat(Qt::PlainText);
    m_outcomeLine->setWordWrap(true);
    // A long path without spaces is cut at the column's edge rather than widening the window.
    m_outcomeLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    stack->addWidget(m_outcomeLine);
    connect(m_fileList, &QListWidget::itemSelectionChanged, this, &HomeView::refreshOutcomeLine);
    return section;
}

QListWidget* HomeView::fileList() const
{
    return m_fileList;
}

void HomeView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Each time the screen appears, not when the window comes back from being minimised.
    if (!event->spontaneous())
        m_state.loadWatermarks(SavedDesigns());
}

void HomeView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_designPicker->setMaximumWidth(qMax(80, static_cast<int>(m_leftColumn->width() * 0.4)));
}

void HomeView::refresh()
{
    refreshDesigns();
    refreshOutcomeLine();
    m_designPicker->setEnabled(!m_state.isWatermarking());
}

void HomeView::refreshDesigns()
{
    const WatermarkList& designs = m_state.watermarks();
    bool same = m_designPicker->count() == static_cast<int>(designs.size());
    for (int i = 0; same && i < m_designPicker->count(); ++i) {
        same = m_designPicker->itemData(i).toUuid() == designs[static_cast<size_t>(i)]->id() &&
               m_designPicker->itemText(i) == designs[static_cast<size_t>(i)]->watermarkName();
    }
    if (!same) {
        m_designPicker->clear();
        for (const auto& design : designs)
            m_designPicker->addItem(design->watermarkName(), design->id());
    }
    m_designPicker->setCurrentIndex(m_designPicker->findData(m_state.selectedWatermarkID()));
}

void HomeView::refreshOutcomeLine()
{
    const QString outcome = m_fileList->selectedOutcome();
    m_outcomeLine->setText(outcome);
    m_outcomeLine->setToolTip(outcome);
    m_outcomeLine->setVisible(!outcome.isEmpty());
}
