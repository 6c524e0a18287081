#include "designs/ControlsSection.h"

#include "designs/ColorWell.h"
#include "designs/FontPicker.h"
#include "designs/NumberField.h"
#include "designs/ValueSlider.h"
#include "designs/copyDesignPicture.h"
#include "model/StandardOutput.h"
#include "widgets/Dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
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

// Checkable buttons side by side, one of them checked at a time, each with its id in the group.
QWidget* segments(const QStringList& labels, QButtonGroup*& group, QWidget* parent)
{
    auto* widget = new QWidget(parent);
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    group = new QButtonGroup(widget);
    for (int id = 0; id < labels.size(); ++id) {
        auto* segment = new QPushButton(labels[id], widget);
        segment->setAutoDefault(true);
        segment->setCheckable(true);
        group->addButton(segment, id);
        layout->addWidget(segment);
    }
    return widget;
}

// The stored words of the pages menu's entries before "Custom…", in its order.
const QStringList pageWords{"all", "first", "allButFirst", "last", "odd", "even"};

void checkId(QButtonGroup* group, int id)
{
    if (QAbstractButton* button = group->button(id))
        button->setChecked(true);
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
    stack->addWidget(makeLayoutCard());
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
    m_margin = new ValueSlider(0, 25, 0.01, this);
    m_margin->setMinimumWidth(controlWidth);
    connect(m_margin, &ValueSlider::valueEdited, this, writer(&WatermarkSettings::setMargin));
    // "Custom" places the mark by X and Y; an anchor keeps it the margin inside the edges.
    m_customRows =
        rows({row(tr("X Position"), m_xPosition, this), row(tr("Y Position"), m_yPosition, this)}, this);
    m_marginRow = row(tr("Margin"), m_margin, this);
    return card({row(tr("Rotation"), m_rotation, this), row(tr("Position"), makeAnchorPicker(), this),
                 either(m_customRows, m_marginRow, this)},
                this);
}

// A 3 by 3 grid of anchors, as they lie on the page, and "Custom" beside it.
QWidget* ControlsSection::makeAnchorPicker()
{
    using Anchor = WatermarkSnapshot::Anchor;
    auto* widget = new QWidget(this);
    auto* layout = new QGridLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_anchor = new QButtonGroup(widget);
    const QStringList names{tr("Top Left"),    tr("Top"),    tr("Top Right"),
                            tr("Left"),        tr("Centre"), tr("Right"),
                            tr("Bottom Left"), tr("Bottom"), tr("Bottom Right")};
    for (int i = 0; i < 9; ++i) {
        auto* cell = new QPushButton(widget);
        cell->setCheckable(true);
        cell->setFixedSize(22, 22);
        // The chosen anchor stands out as a filled square.
        cell->setStyleSheet(QStringLiteral("QPushButton:checked { background-color: rgb(0, 122, 255); "
                                           "border: 1px solid rgb(0, 90, 200); border-radius: 3px; }"));
        cell->setToolTip(names[i]);
        cell->setAccessibleName(names[i]);
        m_anchor->addButton(cell, static_cast<int>(Anchor::topLeft) + i);
        layout->addWidget(cell, i / 3, i % 3);
    }
    auto* custom = new QPushButton(tr("Custom"), widget);
    custom->setCheckable(true);
    m_anchor->addButton(custom, static_cast<int>(Anchor::custom));
    layout->addWidget(custom, 0, 3, 3, 1, Qt::AlignVCenter);
    connect(m_anchor, &QButtonGroup::idClicked, this, [this](int id) {
        if (m_settings)
            m_settings->setAnchor(static_cast<Anchor>(id));
    });
    return widget;
}

// One mark or tiles, and the layer the mark is drawn in.
QWidget* ControlsSection::makeLayoutCard()
{
    QWidget* layout = segments({tr("One"), tr("Tiled")}, m_layout, this);
    connect(m_layout, &QButtonGroup::idClicked, this, [this](int id) {
        if (m_settings)
            m_settings->setLayout(static_cast<WatermarkSnapshot::Layout>(id));
    });
    m_tileGapX = new ValueSlider(0, 50, 0.01, this);
    m_tileGapY = new ValueSlider(0, 50, 0.01, this);
    for (ValueSlider* slider : {m_tileGapX, m_tileGapY})
        slider->setMinimumWidth(controlWidth);
    connect(m_tileGapX, &ValueSlider::valueEdited, this, writer(&WatermarkSettings::setTileGapX));
    connect(m_tileGapY, &ValueSlider::valueEdited, this, writer(&WatermarkSettings::setTileGapY));
    m_tileStagger = new QCheckBox(this);
    connect(m_tileStagger, &QCheckBox::toggled, this, writer(&WatermarkSettings::setTileStagger));
    m_tileRows = rows({row(tr("Horizontal Gap"), m_tileGapX, this), row(tr("Vertical Gap"), m_tileGapY, this),
                       row(tr("Stagger Rows"), m_tileStagger, this)},
                      this);
    // A menu rather than three segments keeps the column as narrow as the sliders.
    m_layer = new QComboBox(this);
    m_layer->addItems({tr("Over"), tr("Under"), tr("Multiply")});
    connect(m_layer, &QComboBox::activated, this, [this](int index) {
        if (m_settings)
            m_settings->setLayer(static_cast<WatermarkSnapshot::Layer>(index));
    });
    return card(
        {row(tr("Layout"), layout, this), m_tileRows, row(tr("Layer"), m_layer, this), makePagesRows()},
        this);
}

// A menu of the common choices of pages, and a field for a list of pages and ranges under it.
QWidget* ControlsSection::makePagesRows()
{
    m_pagesChoice = new QComboBox(this);
    m_pagesChoice->addItems({tr("All Pages"), tr("First Page"), tr("All But First"), tr("Last Page"),
                             tr("Odd Pages"), tr("Even Pages"), tr("Custom…")});
    connect(m_pagesChoice, &QComboBox::activated, this, &ControlsSection::choosePages);
    m_pageList = new QLineEdit(this);
    m_pageList->setPlaceholderText(tr("1-3,5,-1"));
    m_pageList->setMinimumWidth(controlWidth);
    m_pageList->setAccessibleName(tr("Page List"));
    connect(m_pageList, &QLineEdit::textEdited, this, &ControlsSection::checkPageList);
    connect(m_pageList, &QLineEdit::editingFinished, this, &ControlsSection::storePageList);
    m_pageListError = new QLabel(this);
    m_pageListError->setWordWrap(true);
    m_pageListError->setStyleSheet(QStringLiteral("color: rgb(215, 0, 21);"));
    // The field belongs to the menu's row: no divider between them, none left when it hides.
    auto* widget = new QWidget(this);
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (QWidget* item : {row(tr("Pages"), m_pagesChoice, widget), static_cast<QWidget*>(m_pageList),
                          static_cast<QWidget*>(m_pageListError)}) {
        item->setParent(widget);
        layout->addWidget(item);
    }
    return widget;
}

// A word is stored at once; "Custom…" opens the list, stored once it reads.
void ControlsSection::choosePages(int index)
{
    if (!m_settings)
        return;
    if (index < pageWords.size()) {
        m_settings->setPages(*PageSelection::parse(pageWords[index]));
        showPages();
        return;
    }
    if (pageWords.contains(m_settings->pages().text())) {
        m_pageList->clear();
        m_pageListError->hide();
    }
    m_pageList->show();
    m_pageList->setFocus();
}

// Why a list does not read shows under the field as it is typed.
void ControlsSection::checkPageList(const QString& text)
{
    const auto selection = PageSelection::parse(text);
    const bool shown = !selection && !text.trimmed().isEmpty();
    m_pageListError->setText(shown ? selection.error() : QString());
    m_pageListError->setVisible(shown);
}

// A list is stored once it is finished, and only when it reads: the design never takes the
// part of a list typed so far ("5-" on the way to "5-3").
void ControlsSection::storePageList()
{
    if (const auto selection = PageSelection::parse(m_pageList->text()); selection && m_settings)
        m_settings->setPages(*selection);
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
    m_imageSize = new NumberField(1, 1000, this);
    connect(m_imageSize, &NumberField::valueCommitted, this, writer(&WatermarkSettings::setImageSize));
    m_pointSizeRows =
        either(row(tr("Font Size"), m_fontSize, this), row(tr("Image Size:"), m_imageSize, this), this);
    // The size in the design's own units, or the mark's width as a share of a side of the page.
    m_sizeReference = new QComboBox(this);
    m_sizeReference->addItems(
        {tr("Own Size"), tr("Shorter Side"), tr("Longer Side"), tr("Width"), tr("Height")});
    connect(m_sizeReference, &QComboBox::activated, this, [this](int index) {
        if (m_settings)
            m_settings->setSizeReference(static_cast<WatermarkSnapshot::SizeReference>(index));
    });
    m_relativeSize = new ValueSlider(1, 100, 0.01, this);
    m_relativeSize->setMinimumWidth(controlWidth);
    connect(m_relativeSize, &ValueSlider::valueEdited, this, writer(&WatermarkSettings::setRelativeSize));
    m_relativeSizeRow = row(tr("Relative Size"), m_relativeSize, this);
    QWidget* size = rows(
        {row(tr("Size"), m_sizeReference, this), either(m_pointSizeRows, m_relativeSizeRow, this)}, this);

    // The font row follows the colour row; its picker comes with each bound design.
    m_textAppearance = rows({row(tr("Text Color"), m_textColor, this), new QWidget(this)}, this);
    m_opacity = new ValueSlider(0, 1, 0.0001, this);
    m_opacity->setMinimumWidth(controlWidth);
    connect(m_opacity, &ValueSlider::valueEdited, this, writer(&WatermarkSettings::setOpacity));
    m_imageAppearance = rows({row(tr("Opacity:"), m_opacity, this)}, this);
    return card({size, either(m_textAppearance, m_imageAppearance, this)}, this);
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
    showPlacement();
    m_selectedType = m_settings->type();
    showType();
}

void ControlsSection::showPlacement()
{
    using Snapshot = WatermarkSnapshot;
    checkId(m_layout, static_cast<int>(m_settings->layout()));
    m_tileRows->setVisible(m_settings->layout() == Snapshot::Layout::tiled);
    m_tileGapX->showValue(m_settings->tileGapX());
    m_tileGapY->showValue(m_settings->tileGapY());
    {
        const QSignalBlocker blocker(m_tileStagger);
        m_tileStagger->setChecked(m_settings->tileStagger());
    }
    checkId(m_anchor, static_cast<int>(m_settings->anchor()));
    const bool custom = m_settings->anchor() == Snapshot::Anchor::custom;
    m_customRows->setVisible(custom);
    m_marginRow->setVisible(!custom);
    m_margin->showValue(m_settings->margin());
    m_sizeReference->setCurrentIndex(static_cast<int>(m_settings->sizeReference()));
    const bool relative = m_settings->sizeReference() != Snapshot::SizeReference::points;
    m_pointSizeRows->setVisible(!relative);
    m_relativeSizeRow->setVisible(relative);
    m_relativeSize->showValue(m_settings->relativeSize());
    m_layer->setCurrentIndex(static_cast<int>(m_settings->layer()));
    showPages();
}

// A list, or stored text that does not read, shows in the field under "Custom…", with the reason
// it does not read. The field is left alone while it is typed into.
void ControlsSection::showPages()
{
    if (m_pageList->hasFocus())
        return;
    const PageSelection& pages = m_settings->pages();
    const qsizetype word = pageWords.indexOf(pages.text());
    m_pagesChoice->setCurrentIndex(word < 0 ? int(pageWords.size()) : int(word));
    m_pageList->setVisible(word < 0);
    m_pageList->setText(word < 0 ? pages.text() : QString());
    m_pageListError->setText(pages.error());
    m_pageListError->setVisible(!pages.error().isEmpty());
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
    // The size in the design's own units: the font size of text, the percent of a picture.
    QLayout* sizes = m_pointSizeRows->layout();
    sizes->itemAt(0)->widget()->setVisible(text);
    sizes->itemAt(1)->widget()->setVisible(!text);
}
