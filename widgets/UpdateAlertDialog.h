#pragma once

#include "widgets/Dialogs.h"

#include <QDialog>

class QCheckBox;
class QHBoxLayout;

// The window of an update check: its heading and text beside the application's icon, the release
// notes of an available update, the automatic-checks box, and the buttons for the case.
class UpdateAlertDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UpdateAlertDialog(const Dialogs::UpdateAlert& alert, QWidget* parent = nullptr);

    Dialogs::UpdateAlertAnswer answer() const;

private:
    QWidget* makeReleaseNotes(const QString& notes);
    QHBoxLayout* makeButtons(Dialogs::UpdateAlert::Kind kind);
    void addButton(QHBoxLayout* row, const QString& text, Dialogs::UpdateAlertAnswer::Choice choice);

    QCheckBox* m_checksAutomatically = nullptr;
    Dialogs::UpdateAlertAnswer::Choice m_choice = Dialogs::UpdateAlertAnswer::Choice::dismiss;
};
