#include "home/OutputDirectoryPicker.h"

#include "home/HomeState.h"
#include "widgets/Dialogs.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

OutputDirectoryPicker::OutputDirectoryPicker(HomeState& state, QWidget* parent)
    : QWidget(parent), m_state(state)
{
    m_selectedLabel = new QLabel(this);
    m_selectedLabel->setObjectName(QStringLiteral("selectedFolderLabel"));
    // A folder name is shown as typed, never read as markup.
    m_selectedLabel->setTextFormat(Qt::PlainText);
    m_selectedLabel->setWordWrap(true);
    // A long path without spaces cannot wrap; it is cut at the column's edge (the tooltip keeps
    // all of it) instead of widening the whole window.
    m_selectedLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QFont italic = m_selectedLabel->font();
    italic.setItalic(true);
    m_selectedLabel->setFont(italic);

    m_replacementLine =
        new QLabel(tr("Files in this folder will be replaced by their watermarked copies"), this);
    m_replacementLine->setObjectName(QStringLiteral("replacementLine"));
    m_replacementLine->setWordWrap(true);
    m_replacementLine->setStyleSheet(QStringLiteral("color: #c26a00;"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(makeHeadingRow());
    layout->addSpacing(2);
    layout->addWidget(m_selectedLabel);
    layout->addWidget(m_replacementLine);

    connect(&m_state, &HomeState::changed, this, &OutputDirectoryPicker::refresh);
    refresh();
}

QLayout* OutputDirectoryPicker::makeHeadingRow()
{
    auto* heading = new QLabel(tr("Choose output folder"), this);
    QFont medium = heading->font();
    medium.setWeight(QFont::Medium);
    heading->setFont(medium);

    auto* texts = new QVBoxLayout;
    texts->addWidget(heading);
    texts->addSpacing(2);
    texts->addWidget(new QLabel(tr("Where your watermarked files will go"), this));

    m_openButton = new QPushButton(tr("Open Folder"), this);
    m_openButton->setObjectName(QStringLiteral("openFolderButton"));
    m_openButton->setAutoDefault(true);
    connect(m_openButton, &QPushButton::clicked, this, &OutputDirectoryPicker::chooseOutputDirectory);

    auto* row = new QHBoxLayout;
    row->addLayout(texts);
    row->addStretch();
    row->addWidget(m_openButton, 0, Qt::AlignVCenter);
    return row;
}

void OutputDirectoryPicker::chooseOutputDirectory()
{
    // Not the working directory, which for a program started from the desktop means nothing.
    const std::optional<QUrl> start = m_state.outputDirectory() ? m_state.outputDirectory() : m_lastChosen;
    const Dialogs::Choice choice =
        Dialogs::chooseFolder(this, start ? start->toLocalFile() : QDir::homePath());
    if (!choice.confirmed)
        return;
    if (choice.location)
        m_lastChosen = choice.location;
    m_state.setOutputDirectory(choice.location);
}

void OutputDirectoryPicker::refresh()
{
    const auto& folder = m_state.outputDirectory();
    const QString shown = folder ? folder->toLocalFile() : tr("Not Selected");
    m_selectedLabel->setText(tr("Selected folder: %1").arg(shown));
    m_selectedLabel->setToolTip(shown);
    m_openButton->setEnabled(!m_state.isWatermarking());
    refreshReplacementLine();
}

void OutputDirectoryPicker::refreshReplacementLine()
{
    if (m_checked && m_checkedFiles == m_state.draggedFiles() && m_checkedFolder == m_state.outputDirectory())
        return;
    m_checked = true;
    m_checkedFiles = m_state.draggedFiles();
    m_checkedFolder = m_state.outputDirectory();
    m_replacementLine->setVisible(m_state.replacesListedFiles());
}
