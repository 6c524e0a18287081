#include "widgets/UpdateAlertDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

constexpr int iconSize = 64;
constexpr int textWidth = 420;
constexpr int notesHeight = 220;

using Kind = Dialogs::UpdateAlert::Kind;
using Choice = Dialogs::UpdateAlertAnswer::Choice;

QLabel* makeHeading(const QString& text, QWidget* parent)
{
    auto* heading = new QLabel(text, parent);
    QFont font = heading->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.15);
    heading->setFont(font);
    return heading;
}

QLabel* makeIcon(QWidget* parent)
{
    auto* icon = new QLabel(parent);
    icon->setPixmap(QApplication::windowIcon().pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);
    return icon;
}

} // namespace

UpdateAlertDialog::UpdateAlertDialog(const Dialogs::UpdateAlert& alert, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Software Update"));
    // Quitting works while the window waits for an answer, as it does everywhere else.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, qApp, &QCoreApplication::quit);
    auto* text = new QLabel(alert.text, this);
    text->setWordWrap(true);
    text->setTextFormat(Qt::PlainText);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->setFixedWidth(textWidth);
    m_checksAutomatically = new QCheckBox(tr("Check for updates automatically"), this);
    m_checksAutomatically->setChecked(alert.checksAutomatically);

    auto* column = new QVBoxLayout;
    column->addWidget(makeHeading(alert.heading, this));
    column->addWidget(text);
    if (alert.kind == Kind::updateAvailable && !alert.releaseNotes.isEmpty())
        column->addWidget(makeReleaseNotes(alert.releaseNotes));
    column->addWidget(m_checksAutomatically);
    column->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addWidget(makeIcon(this), 0, Qt::AlignTop);
    row->addLayout(column, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(makeButtons(alert.kind));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

Dialogs::UpdateAlertAnswer UpdateAlertDialog::answer() const
{
    return {m_choice, m_checksAutomatically->isChecked()};
}

// Links in the notes go to the desktop's browser, never into this window.
QWidget* UpdateAlertDialog::makeReleaseNotes(const QString& notes)
{
    auto* browser = new QTextBrowser(this);
    browser->setOpenLinks(false);
    browser->setHtml(notes);
    browser->setFixedSize(textWidth, notesHeight);
    connect(browser, &QTextBrowser::anchorClicked, this, [](const QUrl& link) { Dialogs::openLink(link); });
    return browser;
}

QHBoxLayout* UpdateAlertDialog::makeButtons(Kind kind)
{
    auto* row = new QHBoxLayout;
    if (kind != Kind::updateAvailable) {
        row->addStretch(1);
        addButton(row, tr("OK"), Choice::dismiss);
        return row;
    }
    addButton(row, tr("Skip This Version"), Choice::skipThisVersion);
    row->addStretch(1);
    addButton(row, tr("Remind Me Later"), Choice::dismiss);
    addButton(row, tr("Download"), Choice::download);
    return row;
}

// The last button added is the default one, as Return expects.
void UpdateAlertDialog::addButton(QHBoxLayout* row, const QString& text, Choice choice)
{
    auto* button = new QPushButton(text, this);
    button->setDefault(true);
    connect(button, &QPushButton::clicked, this, [this, choice] {
        m_choice = choice;
        accept();
    });
    row->addWidget(button);
}
