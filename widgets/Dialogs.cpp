#include "widgets/Dialogs.h"

#include "widgets/UpdateAlertDialog.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

namespace Dialogs {
namespace {

std::function<Choice(const QString&)>& folderAnswer()
{
    static std::function<Choice(const QString&)> answer;
    return answer;
}

std::function<QList<QUrl>()>& inputFilesAnswer()
{
    static std::function<QList<QUrl>()> answer;
    return answer;
}

std::function<int(const Question&)>& questionAnswer()
{
    static std::function<int(const Question&)> answer;
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

std::function<UpdateAlertAnswer(const UpdateAlert&)>& updateAlertAnswer()
{
    static std::function<UpdateAlertAnswer(const UpdateAlert&)> answer;
    return answer;
}

std::function<void(const QString&, const QString&)>& informationAnswer()
{
    static std::function<void(const QString&, const QString&)> answer;
    return answer;
}

std::function<bool(const QUrl&)>& openLinkAnswer()
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

QList<QUrl> chooseInputFiles(QWidget* parent)
{
    if (inputFilesAnswer())
        return inputFilesAnswer()();
    QFileDialog dialog(parent, QFileDialog::tr("Add Files"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    // Name patterns are case-sensitive here; the intake judges each file by its content anyway.
    dialog.setNameFilters(
        {QFileDialog::tr("PDF documents and pictures (*.pdf *.png *.jpg *.jpeg *.tif *.tiff "
                         "*.PDF *.PNG *.JPG *.JPEG *.TIF *.TIFF)"),
         QFileDialog::tr("PDF documents (*.pdf *.PDF)"),
         QFileDialog::tr("Pictures (*.png *.jpg *.jpeg *.tif *.tiff *.PNG *.JPG *.JPEG *.TIF *.TIFF)"),
         QFileDialog::tr("All files (*)")});
    return dialog.exec() == QDialog::Accepted ? dialog.selectedUrls() : QList<QUrl>();
}

int ask(QWidget* parent, const Question& question)
{
    if (questionAnswer())
        return questionAnswer()(question);
    QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(), question.text,
                    QMessageBox::NoButton, parent);
    QList<QAbstractButton*> buttons;
    for (qsizetype i = 0; i < question.buttons.size(); ++i) {
        const auto role = i == question.cancelButton ? QMessageBox::RejectRole
                          : i == 0                   ? QMessageBox::AcceptRole
                                                     : QMessageBox::DestructiveRole;
        buttons.append(box.addButton(question.buttons[i], role));
    }
    if (!buttons.isEmpty())
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
    if (question.cancelButton >= 0)
        box.setEscapeButton(buttons.value(question.cancelButton));
    box.exec();
    const qsizetype chosen = buttons.indexOf(box.clickedButton());
    return chosen < 0 ? question.cancelButton : static_cast<int>(chosen);
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

UpdateAlertAnswer showUpdateAlert(QWidget* parent, const UpdateAlert& alert)
{
    if (updateAlertAnswer())
        return updateAlertAnswer()(alert);
    UpdateAlertDialog dialog(alert, parent);
    dialog.exec();
    return dialog.answer();
}

void showInformation(QWidget* parent, const QString& title, const QString& text)
{
    if (informationAnswer())
        return informationAnswer()(title, text);
    QMessageBox::about(parent, title, text);
}

bool openLink(const QUrl& link)
{
    if (openLinkAnswer())
        return openLinkAnswer()(link);
    return QDesktopServices::openUrl(link);
}

void setFolderAnswer(std::function<Choice(const QString&)> answer)
{
    folderAnswer() = std::move(answer);
}

void setImageFileAnswer(std::function<Choice()> answer)
{
    imageFileAnswer() = std::move(answer);
}

void setInputFilesAnswer(std::function<QList<QUrl>()> answer)
{
    inputFilesAnswer() = std::move(answer);
}

void setQuestionAnswer(std::function<int(const Question&)> answer)
{
    questionAnswer() = std::move(answer);
}

void setColorAnswer(std::function<std::optional<QColor>(const QColor&)> answer)
{
    colorAnswer() = std::move(answer);
}

void setShowFolderAnswer(std::function<bool(const QUrl&)> answer)
{
    showFolderAnswer() = std::move(answer);
}

void setUpdateAlertAnswer(std::function<UpdateAlertAnswer(const UpdateAlert&)> answer)
{
    updateAlertAnswer() = std::move(answer);
}

void setInformationAnswer(std::function<void(const QString&, const QString&)> answer)
{
    informationAnswer() = std::move(answer);
}

void setOpenLinkAnswer(std::function<bool(const QUrl&)> answer)
{
    openLinkAnswer() = std::move(answer);
}

} // namespace Dialogs
