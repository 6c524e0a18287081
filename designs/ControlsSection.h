#pragma once

#include "model/WatermarkSettings.h"

#include <QWidget>

#include <memory>

class ColorWell;
class FontPicker;
class NumberField;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QStackedLayout;
class ValueSlider;

// The editor column: one control per field of the bound design, each writing its field into
// that very object at once, so the list and the preview hold every edit before it is saved.
class ControlsSection : public QWidget
{
    Q_OBJECT

public:
    explicit ControlsSection(QWidget* parent = nullptr);

    // Binds the design to edit, or none. A different design brings its own type to the switch.
    void setSettings(std::shared_ptr<WatermarkSettings> settings);
    const std::shared_ptr<WatermarkSettings>& settings() const { return m_settings; }

    WatermarkType selectedType() const { return m_selectedType; }
    // The type switch: shows that type's rows and sets the bound design's type at once.
    void setSelectedType(WatermarkType type);

    // "Select Image": asks for a picture, copies it into the user's documents folder as
    // "<ID>.jpg" and points the design at the copy. Cancelling changes nothing; a failed copy
    // prints "Error copying image file: " and its reason, says so through problem() and leaves
    // the design as it was.
    void selectImage();

    // The name a design with a blank name is given.
    static QString untitled();
    // The field that takes the design's name.
    QLineEdit* nameField() const { return m_name; }

    // A design's place snaps to the middle within 5 (exclusive) of 50.
    static double centreSnap(double value);

Q_SIGNALS:
    // Something the user asked for was not done, in a sentence.
    void problem(const QString& text);

private:
    QWidget* makeTypeSwitch();
    QWidget* makeNameCard();
    QWidget* makePlacementCard();
    QWidget* makeAppearanceCard();
    QWidget* makeLayoutCard();
    QWidget* makeAnchorPicker();
    QWidget* makePagesRows();
    void choosePages(int index);
    void checkPageList(const QString& text);
    void storePageList();
    template <typename T> auto writer(void (WatermarkSettings::*setter)(T));
    void showDesign();
    void showType();
    void showPlacement();
    void showPages();

    std::shared_ptr<WatermarkSettings> m_settings;
    WatermarkType m_selectedType = WatermarkType::text;
    QMetaObject::Connection m_settingsConnection;

    QStackedLayout* m_pages = nullptr;
    QAbstractButton* m_textSegment = nullptr;
    QAbstractButton* m_imageSegment = nullptr;
    QLineEdit* m_name = nullptr;
    QPlainTextEdit* m_text = nullptr;
    QWidget* m_textRow = nullptr;
    QWidget* m_imageRow = nullptr;
    ValueSlider* m_rotation = nullptr;
    ValueSlider* m_xPosition = nullptr;
    ValueSlider* m_yPosition = nullptr;
    QWidget* m_textAppearance = nullptr;
    QWidget* m_imageAppearance = nullptr;
    NumberField* m_fontSize = nullptr;
    ColorWell* m_textColor = nullptr;
    FontPicker* m_fontPicker = nullptr;
    NumberField* m_imageSize = nullptr;
    ValueSlider* m_opacity = nullptr;
    QButtonGroup* m_layout = nullptr;
    QWidget* m_tileRows = nullptr;
    ValueSlider* m_tileGapX = nullptr;
    ValueSlider* m_tileGapY = nullptr;
    QCheckBox* m_tileStagger = nullptr;
    QButtonGroup* m_anchor = nullptr;
    QWidget* m_customRows = nullptr;
    QWidget* m_marginRow = nullptr;
    ValueSlider* m_margin = nullptr;
    QComboBox* m_sizeReference = nullptr;
    QWidget* m_pointSizeRows = nullptr;
    QWidget* m_relativeSizeRow = nullptr;
    ValueSlider* m_relativeSize = nullptr;
    QComboBox* m_layer = nullptr;
    QComboBox* m_pagesChoice = nullptr;
    QLineEdit* m_pageList = nullptr;
    QLabel* m_pageListError = nullptr;
};
