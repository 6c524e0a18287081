#include "widgets/Dialogs.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>

namespace Dialogs {
namespace {

std::function<Choice(const QString&)>& folderAnswer()
{
    static std::function<Choice(const QString&)> answer;
    return answer;
}

std::function<Choice()>& imageFileAnswer()
{
    static std::function<Choice()> answer;
    return answer;
}

std::function<std::optional<QColor>(const QColor&)>& colorAnswer()
{
    static std::function<std::optional<QColor>(const QColor&)> answer;
    return answer;
}

std::function<bool(const QUrl&)>& showFolderAnswer()
{
    static std::function<bool(const QUrl&)> answer;
    return answer;
}

Choice runFileDialog(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QList<QUrl> chosen = dialog.selectedUrls();
    return {true, chosen.isEmpty() ? std::nullopt : std::optional(chosen.first())};
}

} // namespace

Choice chooseFolder(QWidget* parent, const QString& startFolder)
{
    if (folderAnswer())
        return folderAnswer()(startFolder);
    QFileDialog dialog(parent);
    dialog.setDirectory(startFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    return runFileDialog(dialog);
}

Choice chooseImageFile(QWidget* parent)
{
    if (imageFileAnswer())
        return imageFileAnswer()();
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Name patterns are case-sensitive here, and cameras and scanners write PHOTO.JPG and scan.tif.
    dialog.setNameFilter(
        QFileDialog::tr("Pictures (*.png *.jpg *.jpeg *.tiff *.tif *.PNG *.JPG *.JPEG *.TIFF *.TIF)"));
    return runFileDialog(dialog);
}

std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial)
{
    if (colorAnswer())
        return colorAnswer()(initial);
    const QColor chosen = QColorDialog::getColor(initial, parent, QString(), QColorDialog::ShowAlphaChannel);
    return chosen.isValid() ? std::optional(chosen) : std::nullopt;
}

bool showFolder(const QUrl& folder)
{
    if (showFolderAnswer())
        return showFolderAnswer()(folder);
    return QDesktopServices::openUrl(folder);
}

void setFolderAnswer(std::function<Choice(const QString&)> answer)
{
    folderAnswer() = std::move(answer);
}

void setImageFileAnswer(std::function<Choice()> answer)
{
    imageFileAnswer() = std::move(answer);
}

void setColorAnswer(std::function<std::optional<QColor>(const QColor&)> answer)
{
    colorAnswer() = std::move(answer);
}

void setShowFolderAnswer(std::function<bool(const QUrl&)> answer)
{
    showFolderAnswer() = std::move(answer);
}

} // namespace Dialogs
