#include "designs/ControlsSection.h"

#include "designs/ColorWell.h"
#include "designs/FontPicker.h"
#include "designs/NumberField.h"
#include "designs/ValueSlider.h"
#include "designs/copyDesignPicture.h"
#include "model/StandardOutput.h"
#include "widgets/Dialogs.h"

#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedLayout>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Wide enough to aim a slider and read a name, narrow enough to leave the preview most of the room.
constexpr int controlWidth = 140;

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setStyleSheet(QStringLiteral("color: rgb(224, 224, 224);"));
    return line;
}

// A label at the leading edge and its control at the trailing edge.
QWidget* row(const QString& label, QWidget* control, QWidget* parent)
{
    auto* widget = new QWidget(parent);
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 2, 0, 2);
    auto* text = new QLabel(label, widget);
    text->setBuddy(control);
    layout->addWidget(text);
    layout->addStretch(1);
    layout->addWidget(control);
    control->setParent(widget);
    // Screen readers name the control by its label.
    if (control->accessibleName().isEmpty())
        control->setAccessibleName(QString(label).remove(QLatin1Char(':')));
    return widget;
}

// Rows one under another with a divider between each two.
QWidget* rows(const QList<QWidget*>& items, QWidget* parent, QMargins margins = {})
{
    auto* widget = new QWidget(parent);
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(margins);
    for (QWidget* item : items) {
        if (item != items.first())
            layout->addWidget(divider(widget));
        item->setParent(widget);
        layout->addWidget(item);
    }
    return widget;
}

// Two alternatives in one place, only one of them shown at a time.
QWidget* either(QWidget* first, QWidget* second, QWidget* parent)
{
    auto* widget = new QWidget(parent);
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QWidget* item : {first, second}) {
        item->setParent(widget);
        layout->addWidget(item);
    }
    return widget;
}

// A group of rows in a rounded box with a light grey outline.
QWidget* card(const QList<QWidget*>& items, QWidget* parent)
{
    QWidget* box = rows(items, parent, QMargins(12, 8, 12, 8));
    box->setObjectName(QStringLiteral("card"));
    box->setAttribute(Qt::WA_StyledBackground);
    box->setStyleSheet(QStringLiteral("#card { border: 1px solid rgb(224, 224, 224); border-radius: 8px; }"));
    return box;
}

} // namespace

// A slot that writes a control's new value into the bound design, if one is bound.
template <typename T> auto ControlsSection::writer(void (WatermarkSettings::*setter)(T))
{
    return [this, setter](T value) {
        if (m_settings)
            (m_settings.get()->*setter)(value);
    };
}

ControlsSection::ControlsSection(QWidget* parent) : QWidget(parent)
{
    auto* hint = new QLabel(tr("Select a watermark or create a new one."), this);
    hint->setContentsMargins(16, 0, 16, 0);

    auto* editor = new QWidget(this);
    auto* stack = new QVBoxLayout(editor);
    stack->setContentsMargins(16, 20, 16, 0);
    stack->setSpacing(10);
    stack->addWidget(makeTypeSwitch(), 0, Qt::AlignLeft);
    stack->addWidget(makeNameCard());
    stack->addWidget(makePlacementCard());
    stack->addWidget(makeAppearanceCard());

    m_pages = new QStackedLayout(this);
    m_pages->addWidget(hint);
    m_pages->addWidget(editor);
    showDesign();
}

QWidget* ControlsSection::makeTypeSwitch()
{
    auto* widget = new QWidget(this);
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* group = new QButtonGroup(widget);
    for (const auto& [type, label] :
         {std::pair(WatermarkType::text, tr("Text")), std::pair(WatermarkType::image, tr("Image"))}) {
        auto* segment = new QPushButton(label, widget);
        segment->setAutoDefault(true); // Enter presses the focused button
        segment->setCheckable(true);
        segment->setMinimumWidth(72);
        segment->setAccessibleName(tr("%1 design").arg(label));
        group->addButton(segment);
        layout->addWidget(segment);
        connect(segment, &QAbstractButton::clicked, this, [this, type = type] { setSelectedType(type); });
        (type == WatermarkType::text ? m_textSegment : m_imageSegment) = segment;
    }
    return widget;
}

QWidget* ControlsSection::makeNameCard()
{
    m_name = new QLineEdit(this);
    m_name->setPlaceholderText(tr("Watermark Name"));
    m_name->setMinimumWidth(controlWidth);
    connect(m_name, &QLineEdit::textEdited, this, writer(&WatermarkSettings::setWatermarkName));
    // A blank name would list as an empty row.
    connect(m_name, &QLineEdit::editingFinished, this, [this] {
        if (m_settings && m_settings->watermarkName().trimmed().isEmpty())
            m_settings->setWatermarkName(untitled());
    });

    // Several lines, since a design's text may have line breaks that a one-line field would join.
    m_text = new QPlainTextEdit(this);
    m_text->setPlaceholderText(tr("Watermark Text"));
    m_text->setTabChangesFocus(true);
    m_text->setMinimumWidth(controlWidth);
    m_text->setFixedHeight(m_text->fontMetrics().lineSpacing() * 3 + 12);
    connect(m_text, &QPlainTextEdit::textChanged, this, [this] {
        if (m_settings)
            m_settings->setText(m_text->toPlainText());
    });

    auto* selectImage = new QPushButton(tr("Select Image"), this);
    selectImage->setAutoDefault(true);
    connect(selectImage, &QAbstractButton::clicked, this, &ControlsSection::selectImage);

    m_textRow = row(tr("Watermark Text"), m_text, this);
    m_imageRow = row(tr("Watermark Image"), selectImage, this);
    return card({row(tr("Name"), m_name, this), either(m_textRow, m_imageRow, this)}, this);
}

QWidget* ControlsSection::makePlacementCard()
{
    m_rotation = new ValueSlider(0, 360, 0.01, this);
    m_xPosition = new ValueSlider(0, 100, 0.01, this);
    m_yPosition = new ValueSlider(0, 100, 0.01, this);
    for (ValueSlider* slider : {m_rotation, m_xPosition, m_yPosition})
        slider->setMinimumWidth(controlWidth);
    connect(m_rotation, &ValueSlider::valueEdited, this, writer(&WatermarkSettings::setRotation));
    connect(m_xPosition, &ValueSlider::valueEdited, this, [this](double value) {
        if (m_settings)
            m_settings->setXPosition(centreSnap(value));
    });
    connect(m_yPosition, &ValueSlider::valueEdited, this, [this](double value) {
        if (m_settings)
            m_settings->setYPosition(centreSnap(value));
    });
    return card({row(tr("Rotation"), m_rotation, this), row(tr("X Position"), m_xPosition, this),
                 row(tr("Y Position"), m_yPosition, this)},
                this);
}

QWidget* ControlsSection::makeAppearanceCard()
{
    m_fontSize = new NumberField(1, 1000, this);
    connect(m_fontSize, &NumberField::valueCommitted, this, writer(&WatermarkSettings::setFontSize));
    m_textColor = new ColorWell(this);
    connect(m_textColor, &ColorWell::colorPicked, this, [this](const QColor& color) {
        if (m_settings)
            m_settings->setTextColor(WatermarkColor::fromQColor(color));
    });
    // The font row follows the colour row; its picker comes with each bound design.
    m_textAppearance = rows(
        {row(tr("Font Size"), m_fontSize, this), row(tr("Text Color"), m_textColor, this), new QWidget(this)},
        this);

    m_imageSize = new NumberField(1, 1000, this);
    connect(m_imageSize, &NumberField::valueCommitted, this, writer(&WatermarkSettings::setImageSize));
    m_opacity = new ValueSlider(0, 1, 0.0001, this);
    m_opacity->setMinimumWidth(controlWidth);
    connect(m_opacity, &ValueSlider::valueEdited, this, writer(&WatermarkSettings::setOpacity));
    m_imageAppearance =
        rows({row(tr("Image Size:"), m_imageSize, this), row(tr("Opacity:"), m_opacity, this)}, this);
    return card({either(m_textAppearance, m_imageAppearance, this)}, this);
}

void ControlsSection::setSettings(std::shared_ptr<WatermarkSettings> settings)
{
    if (settings == m_settings)
        return;
    disconnect(m_settingsConnection);
    m_settings = std::move(settings);
    if (m_settings)
        m_settingsConnection =
            connect(m_settings.get(), &WatermarkSettings::changed, this, &ControlsSection::showDesign);
    // The picker binds one design for its whole life and gathers the installed faces anew.
    QLayout* appearance = m_textAppearance->layout();
    QWidget* oldPicker = appearance->itemAt(appearance->count() - 1)->widget();
    QWidget* newPicker =
        m_settings ? new FontPicker(m_settings, m_textAppearance) : new QWidget(m_textAppearance);
    delete appearance->replaceWidget(oldPicker, newPicker);
    delete oldPicker;
    // A new widget would come last in the tab order, after "Save Watermark"; it belongs after
    // the colour.
    QWidget::setTabOrder(m_textColor, newPicker);
    m_fontPicker = qobject_cast<FontPicker*>(newPicker);
    showDesign();
}

void ControlsSection::setSelectedType(WatermarkType type)
{
    m_selectedType = type;
    if (m_settings)
        m_settings->setType(type);
    showType();
}

QString ControlsSection::untitled()
{
    return tr("Untitled");
}

double ControlsSection::centreSnap(double value)
{
    return std::abs(value - 50.0) < 5.0 ? 50.0 : value;
}

void ControlsSection::selectImage()
{
    if (!m_settings)
        return;
    const Dialogs::Choice choice = Dialogs::chooseImageFile(this);
    if (!choice.confirmed || !choice.location)
        return;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const Result<QUrl> copy = copyDesignPicture(choice.location->toLocalFile(), m_settings->id(), documents);
    if (!copy) {
        StandardOutput::printLine(QStringLiteral("Error copying image file: ") + copy.error());
        Q_EMIT problem(tr("The picture was not copied: %1.").arg(copy.error()));
        return;
    }
    m_settings->setImageData(*copy);
}

// Shows the bound design's values. Fields being typed into are left alone, so an edit that
// arrives from elsewhere never moves the cursor or throws away what is being typed.
void ControlsSection::showDesign()
{
    m_pages->setCurrentIndex(m_settings ? 1 : 0);
    if (!m_settings)
        return;
    if (m_name->text() != m_settings->watermarkName())
        m_name->setText(m_settings->watermarkName());
    if (m_text->toPlainText() != m_settings->text()) {
        const QSignalBlocker blocker(m_text);
        m_text->setPlainText(m_settings->text());
    }
    m_rotation->showValue(m_settings->rotation());
    m_xPosition->showValue(m_settings->xPosition());
    m_yPosition->showValue(m_settings->yPosition());
    m_opacity->showValue(m_settings->opacity());
    if (!m_fontSize->hasFocus())
        m_fontSize->showValue(m_settings->fontSize());
    if (!m_imageSize->hasFocus())
        m_imageSize->showValue(m_settings->imageSize());
    m_textColor->showColor(m_settings->textColor().toQColor());
    m_selectedType = m_settings->type();
    showType();
}

void ControlsSection::showType()
{
    const bool text = m_selectedType == WatermarkType::text;
    m_textSegment->setChecked(text);
    m_imageSegment->setChecked(!text);
    m_textRow->setVisible(text);
    m_imageRow->setVisible(!text);
    m_textAppearance->setVisible(text);
    m_imageAppearance->setVisible(!text);
}
