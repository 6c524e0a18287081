#include "app/Dialogs.h"

#include <QFileDialog>

namespace Dialogs {
namespace {

std::function<FolderChoice()>& folderAnswer()
{
    static std::function<FolderChoice()> answer;
    return answer;
}

} // namespace

FolderChoice chooseFolder(QWidget* parent)
{
    if (folderAnswer())
        return folderAnswer()();
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QList<QUrl> chosen = dialog.selectedUrls();
    return {true, chosen.isEmpty() ? std::nullopt : std::optional(chosen.first())};
}

void setFolderAnswer(std::function<FolderChoice()> answer)
{
    folderAnswer() = std::move(answer);
}

} // namespace Dialogs
