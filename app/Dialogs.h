#pragma once

#include <QUrl>

#include <functional>
#include <optional>

class QWidget;

// Every modal question the application asks goes through here, so tests can answer in advance
// instead of blocking on a real dialog.
namespace Dialogs {

struct FolderChoice
{
    bool confirmed = false;     // false when the user cancelled
    std::optional<QUrl> folder; // the chosen folder, when confirmed with one
};

// Asks for one existing folder.
FolderChoice chooseFolder(QWidget* parent);

// Replaces the real folder dialog, for tests; an empty function restores it.
void setFolderAnswer(std::function<FolderChoice()> answer);

} // namespace Dialogs
