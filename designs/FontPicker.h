#pragma once

#include <QWidget>

#include <memory>

class FontPickerViewModel;
class QComboBox;
class WatermarkSettings;

// The "Font" row of a text design's appearance card: the label and a menu of the installed
// faces, each shown in its own face. Picking an entry writes the design's fontName at once, and
// the menu follows the design when fontName changes elsewhere. A fontName that names no listed
// face ("Helvetica", a name from another machine) leaves the menu without a current entry, is
// shown as its placeholder and is kept until the user picks.
class FontPicker : public QWidget
{
    Q_OBJECT

public:
    explicit FontPicker(std::shared_ptr<WatermarkSettings> settings, QWidget* parent = nullptr);

    // The menu of faces; empty until the list of installed faces arrives.
    QComboBox* menu() const { return m_menu; }

private:
    void fillMenu();
    void showDesign();

    std::shared_ptr<WatermarkSettings> m_settings;
    FontPickerViewModel* m_model = nullptr;
    QComboBox* m_menu = nullptr;
};
