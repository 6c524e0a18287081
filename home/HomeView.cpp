#include "home/HomeView.h"

#include "home/FileDropAreaView.h"
#include "home/FileIntake.h"
#include "home/FileListView.h"
#include "home/GenerateButton.h"
#include "home/OutputDirectoryPicker.h"

#include "widgets/Dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
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
    QWidget* rightColumn = makeRightColumn();
    // The columns share the width evenly whatever their contents ask for, so they keep their
    // place when the result of a run appears.
    for (QWidget* column : {m_leftColumn, rightColumn}) {
        column->setMinimumWidth(column->minimumSizeHint().width());
        column->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    columns->addWidget(m_leftColumn, 1);
    columns->addWidget(rightColumn, 1);

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
    stack->addWidget(makeRecipientRow());
    stack->addWidget(makeFirstRunLine());
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
    stack->addWidget(makeAddButtons(), 0, Qt::AlignHCenter);
    return column;
}

QWidget* HomeView::makeAddButtons()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    m_addFiles = new QPushButton(tr("Add Files…"), row);
    m_addFiles->setObjectName(QStringLiteral("addFilesButton"));
    m_addFiles->setToolTip(tr("Add PDF documents and pictures (%1)")
                               .arg(QKeySequence(QKeySequence::Open).toString(QKeySequence::NativeText)));
    m_addFolder = new QPushButton(tr("Add Folder…"), row);
    m_addFolder->setObjectName(QStringLiteral("addFolderButton"));
    m_addFolder->setToolTip(tr("Add the PDF documents and pictures of a folder and its folders"));
    for (QPushButton* button : {m_addFiles, m_addFolder}) {
        button->setAutoDefault(true); // Enter presses the focused button
        layout->addWidget(button);
    }
    connect(m_addFiles, &QPushButton::clicked, this, &HomeView::addFiles);
    connect(m_addFolder, &QPushButton::clicked, this, &HomeView::addFolder);
    // Only while the screen is shown: the window keeps it hidden behind the other sections.
    auto* open = new QShortcut(QKeySequence::Open, this);
    open->setContext(Qt::WindowShortcut);
    connect(open, &QShortcut::activated, this, &HomeView::addFiles);
    return row;
}

QWidget* HomeView::makeFirstRunLine()
{
    m_firstRunLine = new QWidget(this);
    auto* layout = new QHBoxLayout(m_firstRunLine);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* text = new QLabel(tr("A design says what to stamp: text or a picture, where and how large."),
                            m_firstRunLine);
    text->setWordWrap(true);
    auto* create = new QPushButton(tr("Create a Design"), m_firstRunLine);
    create->setObjectName(QStringLiteral("createDesignButton"));
    create->setAutoDefault(true);
    connect(create, &QPushButton::clicked, this, &HomeView::createDesignRequested);
    layout->addWidget(text, 1);
    layout->addWidget(create);
    return m_firstRunLine;
}

void HomeView::addFiles()
{
    if (m_state.isWatermarking())
        return;
    const QList<QUrl> chosen = Dialogs::chooseInputFiles(this);
    if (!chosen.isEmpty())
        FileIntake::take(m_state, chosen);
}

void HomeView::addFolder()
{
    if (m_state.isWatermarking())
        return;
    const Dialogs::Choice choice = Dialogs::chooseFolder(this, QDir::homePath());
    if (choice.confirmed && choice.location)
        FileIntake::take(m_state, {*choice.location});
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
    m_designPicker->setMinimumContentsLength(12);
    m_designPicker->setAccessibleName(tr("Watermark design"));
    layout->addWidget(m_designPicker);
    connect(m_designPicker, &QComboBox::activated, this,
            [this](int index) { m_state.setSelectedWatermarkID(m_designPicker->itemData(index).toUuid()); });
    return row;
}

// Asked only while the chosen design shows it: "Prepared for {recipient}".
QWidget* HomeView::makeRecipientRow()
{
    auto* row = new QWidget(this);
    row->setObjectName(QStringLiteral("recipientRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(tr("Recipient"), row);
    layout->addWidget(label);
    layout->addStretch(1);
    m_recipient = new QLineEdit(row);
    m_recipient->setObjectName(QStringLiteral("recipientField"));
    m_recipient->setPlaceholderText(tr("Shown where the design says {recipient}"));
    m_recipient->setAccessibleName(tr("Recipient"));
    label->setBuddy(m_recipient);
    layout->addWidget(m_recipient, 2);
    connect(m_recipient, &QLineEdit::textEdited, &m_state, &HomeState::setRecipient);
    return row;
}

QWidget* HomeView::makeFilesSection()
{
    auto* section = new QWidget(this);
    auto* stack = new QVBoxLayout(section);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(headline(QStringLiteral("Selected Files"), section));
    m_fileList = new FileListView(m_state, section);
    m_fileList->setAccessibleName(tr("Selected Files"));
    stack->addWidget(m_fileList, 1);
    m_outcomeLine = new QLabel(section);
    m_outcomeLine->setObjectName(QStringLiteral("fileOutcomeLine"));
    // A reason or a path is shown as written, never read as markup.
    m_outcomeLine->setTextFormat(Qt::PlainText);
    m_outcomeLine->setWordWrap(true);
    // A long path without spaces is cut at the column's edge rather than widening the window.
    m_outcomeLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    stack->addWidget(m_outcomeLine);
    connect(m_fileList, &FileListView::selectedFilesChanged, this, &HomeView::refreshOutcomeLine);
    return section;
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
    const bool running = m_state.isWatermarking();
    m_designPicker->setEnabled(!running && !m_state.watermarks().empty());
    m_recipient->parentWidget()->setVisible(m_state.asksForRecipient());
    m_recipient->setEnabled(!running);
    m_firstRunLine->setVisible(m_state.watermarks().empty());
    m_addFiles->setEnabled(!running);
    m_addFolder->setEnabled(!running);
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
    // An empty box would not say that there is nothing to choose yet.
    m_designPicker->setPlaceholderText(designs.empty() ? tr("No designs yet") : tr("Choose a design"));
    m_designPicker->setCurrentIndex(m_designPicker->findData(m_state.selectedWatermarkID()));
}

void HomeView::refreshOutcomeLine()
{
    const QString outcome = m_fileList->selectedOutcome();
    m_outcomeLine->setText(outcome);
    m_outcomeLine->setToolTip(outcome);
    m_outcomeLine->setVisible(!outcome.isEmpty());
}
