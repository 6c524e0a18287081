#pragma once

#include <QColor>
#include <QUrl>

#include <functional>
#include <optional>

class QWidget;

// Every modal question the application asks goes through here, so tests can answer in advance
// instead of blocking on a real dialog; so does handing a folder to the desktop's file manager,
// which tests must not launch.
namespace Dialogs {

// The answer of a file or folder dialog.
struct Choice
{
    bool confirmed = false;       // false when the user cancelled
    std::optional<QUrl> location; // the chosen file or folder, when confirmed with one
};

// Asks for one existing folder, starting in startFolder.
Choice chooseFolder(QWidget* parent, const QString& startFolder);

// Asks for one existing picture file: PNG, JPEG or TIFF.
Choice chooseImageFile(QWidget* parent);

// Asks for a colour, alpha included, starting from initial; nothing when cancelled.
std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial);

// Opens the folder in the desktop's file manager; false when nothing could open it.
bool showFolder(const QUrl& folder);

// Replace the real dialogs, for tests; an empty function restores the real one.
void setFolderAnswer(std::function<Choice(const QString& startFolder)> answer);
void setImageFileAnswer(std::function<Choice()> answer);
void setColorAnswer(std::function<std::optional<QColor>(const QColor& initial)> answer);
void setShowFolderAnswer(std::function<bool(const QUrl& folder)> answer);

} // namespace Dialogs
