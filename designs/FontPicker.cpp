#include "designs/FontPicker.h"

#include "designs/FontFaceDelegate.h"
#include "designs/FontPickerViewModel.h"
#include "model/WatermarkSettings.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QSignalBlocker>

#include <algorithm>

namespace {

// The menu is at least as wide as a name of common length, whatever the longest installed name;
// it takes whatever room the row has beyond that.
constexpr int shownCharacters = 16;
// The popup may grow beyond the menu for long names, up to this many pixels; longer ones are cut.
constexpr int widestPopup = 480;

} // namespace

FontPicker::FontPicker(std::shared_ptr<WatermarkSettings> settings, QWidget* parent)
    : QWidget(parent), m_settings(std::move(settings)), m_model(new FontPickerViewModel(this))
{
    m_menu = new QComboBox(this);
    m_menu->setObjectName(QStringLiteral("fontMenu"));
    m_menu->setAccessibleName(tr("Font"));
    // A kept name ("Helvetica") is the design's font, not a hint: it reads as a chosen entry.
    QPalette palette = m_menu->palette();
    palette.setColor(QPalette::PlaceholderText, palette.color(QPalette::ButtonText));
    m_menu->setPalette(palette);
    m_menu->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_menu->setMinimumContentsLength(shownCharacters);
    // A scrolling list of 16 entries under the menu rather than a popup as tall as the screen.
    m_menu->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    m_menu->setMaxVisibleItems(16);
    // Uniform entries: the popup measures one entry instead of opening every face to measure it.
    auto* list = new QListView(m_menu);
    list->setUniformItemSizes(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_menu->setView(list);
    m_menu->setItemDelegate(new FontFaceDelegate(m_menu));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->addWidget(new QLabel(tr("Font"), this));
    layout->addSpacing(12);
    layout->addWidget(m_menu, 1);

    connect(m_model, &FontPickerViewModel::fontsChanged, this, &FontPicker::fillMenu);
    connect(m_settings.get(), &WatermarkSettings::changed, this, &FontPicker::showDesign);
    // Mouse, keyboard and type-ahead all end here; the picker's own updates are blocked.
    connect(m_menu, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            m_settings->setFontName(m_menu->itemText(index));
    });
    showDesign();
}

void FontPicker::fillMenu()
{
    const QSignalBlocker quiet(m_menu);
    m_menu->clear();
    m_menu->addItems(m_model->fonts());
    // Entries are drawn at 14 points, larger than the menu's own text that Qt sizes the popup by.
    QFont entryFont = m_menu->font();
    entryFont.setPointSizeF(FontFaceDelegate::pointSize);
    const QFontMetrics metrics(entryFont);
    int widest = 0;
    for (const QString& name : m_model->fonts())
        widest = std::max(widest, metrics.horizontalAdvance(name));
    m_menu->view()->setMinimumWidth(std::min(widest + 4 * metrics.averageCharWidth(), widestPopup));
    showDesign();
}

void FontPicker::showDesign()
{
    const QSignalBlocker quiet(m_menu);
    const QString& name = m_settings->fontName();
    m_menu->setPlaceholderText(name);
    m_menu->setCurrentIndex(m_menu->findText(name, Qt::MatchFixedString));
}
