#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

class QWidget;

// Every modal question the application asks goes through here, so tests can answer in advance
// instead of blocking on a real dialog; so does handing a folder or a link to the desktop, which
// tests must not launch.
namespace Dialogs {

// The answer of a file or folder dialog.
struct Choice
{
    bool confirmed = false;       // false when the user cancelled
    std::optional<QUrl> location; // the chosen file or folder, when confirmed with one
};

// A question with its answers as buttons, the first one the default.
struct Question
{
    QString text;
    QStringList buttons;
    int cancelButton = -1; // the answer Escape or closing the window gives
};

// A window of the update check.
struct UpdateAlert
{
    enum class Kind
    {
        upToDate,
        updateAvailable,
        failed,
    };

    Kind kind = Kind::failed;
    QString heading;
    QString text;
    QString releaseNotes;             // rich text, shown for an available update
    bool checksAutomatically = false; // "Check for updates automatically" as the window opens
};

// How the user left an update window.
struct UpdateAlertAnswer
{
    enum class Choice
    {
        dismiss, // "OK", "Remind Me Later" or the window closed
        download,
        skipThisVersion,
    };

    Choice choice = Choice::dismiss;
    bool checksAutomatically = false;
};

// Asks for one existing folder, starting in startFolder.
Choice chooseFolder(QWidget* parent, const QString& startFolder);

// Asks for any number of existing PDF, PNG, JPEG or TIFF files; empty when cancelled.
QList<QUrl> chooseInputFiles(QWidget* parent);

// Asks the question and gives the position of the button chosen.
int ask(QWidget* parent, const Question& question);

// Asks for one existing picture file: PNG, JPEG or TIFF.
Choice chooseImageFile(QWidget* parent);

// Asks for a colour, alpha included, starting from initial; nothing when cancelled.
std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial);

// Opens the folder in the desktop's file manager; false when nothing could open it.
bool showFolder(const QUrl& folder);

// Shows an update window and waits for the answer.
UpdateAlertAnswer showUpdateAlert(QWidget* parent, const UpdateAlert& alert);

// Shows rich text under a title until the user closes it, as the application's information does.
void showInformation(QWidget* parent, const QString& title, const QString& text);

// Opens a web address with the desktop's handler for it; false when nothing could open it.
bool openLink(const QUrl& link);

// Replace the real dialogs, for tests; an empty function restores the real one.
void setFolderAnswer(std::function<Choice(const QString& startFolder)> answer);
void setImageFileAnswer(std::function<Choice()> answer);
void setInputFilesAnswer(std::function<QList<QUrl>()> answer);
void setQuestionAnswer(std::function<int(const Question& question)> answer);
void setColorAnswer(std::function<std::optional<QColor>(const QColor& initial)> answer);
void setShowFolderAnswer(std::function<bool(const QUrl& folder)> answer);
void setUpdateAlertAnswer(std::function<UpdateAlertAnswer(const UpdateAlert& alert)> answer);
void setInformationAnswer(std::function<void(const QString& title, const QString& text)> answer);
void setOpenLinkAnswer(std::function<bool(const QUrl& link)> answer);

} // namespace Dialogs
