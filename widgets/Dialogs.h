#pragma once

#include <QColor>
#include <QUrl>

#include <functional>
#include <optional>

class QWidget;

// Every modal question the application asks goes through here, so tests can answer in advance
// instead of blocking on a real dialog.
namespace Dialogs {

// The answer of a file or folder dialog.
struct Choice
{
    bool confirmed = false;       // false when the user cancelled
    std::optional<QUrl> location; // the chosen file or folder, when confirmed with one
};

// Asks for one existing folder.
Choice chooseFolder(QWidget* parent);

// Asks for one existing picture file: PNG, JPEG or TIFF.
Choice chooseImageFile(QWidget* parent);

// Asks for a colour, alpha included, starting from initial; nothing when cancelled.
std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial);

// Replace the real dialogs, for tests; an empty function restores the real one.
void setFolderAnswer(std::function<Choice()> answer);
void setImageFileAnswer(std::function<Choice()> answer);
void setColorAnswer(std::function<std::optional<QColor>(const QColor& initial)> answer);

} // namespace Dialogs
