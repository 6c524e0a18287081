#include "home/OutputDirectoryPicker.h"

#include "home/HomeState.h"
#include "widgets/Dialogs.h"

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

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(makeHeadingRow());
    layout->addSpacing(2);
    layout->addWidget(m_selectedLabel);

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
    connect(m_openButton, &QPushButton::clicked, this, &OutputDirectoryPicker::chooseOutputDirectory);

    auto* row = new QHBoxLayout;
    row->addLayout(texts);
    row->addStretch();
    row->addWidget(m_openButton, 0, Qt::AlignVCenter);
    return row;
}

void OutputDirectoryPicker::chooseOutputDirectory()
{
    const Dialogs::Choice choice = Dialogs::chooseFolder(this);
    if (choice.confirmed)
        m_state.setOutputDirectory(choice.location);
}

void OutputDirectoryPicker::refresh()
{
    const auto& folder = m_state.outputDirectory();
    const QString shown = folder ? folder->toLocalFile() : tr("Not Selected");
    m_selectedLabel->setText(tr("Selected folder: %1").arg(shown));
    m_selectedLabel->setToolTip(shown);
    m_openButton->setEnabled(!m_state.isWatermarking());
}
